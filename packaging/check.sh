#!/usr/bin/env bash
# The Debian package as a user meets it: lintian finds no error in it, its desktop entry is
# valid, it installs, an ordinary user converts a folder of real presentations with the installed
# program and finds its files in their own data folder, `man quillon` opens, and removing the
# package leaves nothing in /usr.
#   packaging/check.sh [build folder]      (after `make deb`; needs root)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
corpus=$(pwd)/../shared/corpus-public
user=quillon-check
started=$SECONDS

if [ "$(id -u)" -ne 0 ]; then
    echo "package check skipped: installing the package and creating a user need root" \
         "(CI runs as root; run it there or with sudo)"
    exit 0
fi

fail() { echo "package check FAILED: $*" >&2; exit 1; }
step() { echo "== package check: $*"; }

mapfile -t debs < <(ls "$build"/quillon_*.deb 2>/dev/null)
[ "${#debs[@]}" -eq 1 ] || fail "expected one $build/quillon_*.deb (make deb), found ${#debs[@]}"
deb=${debs[0]}
[ -d "$corpus" ] || fail "no presentations at $corpus"

scratch=$(mktemp -d)
cleanup() {
    if dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q "installed"; then
        dpkg -r quillon >/dev/null || true
    fi
    if id "$user" >/dev/null 2>&1; then userdel -r "$user" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

step "lintian $deb"
lintian --fail-on error "$deb" || fail "lintian reports errors"

step "desktop entry"
dpkg-deb -x "$deb" "$scratch/root"
entry="$scratch/root/usr/share/applications/quillon.desktop"
report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
# Hints (the entry is in two main categories, Office and Utility, on purpose) are fine.
if grep -E "(error|warning):" <<<"$report"; then fail "desktop-file-validate complains"; fi
[ -n "$report" ] && echo "$report"

step "install"
if dpkg-query -W quillon >/dev/null 2>&1; then dpkg -r quillon >/dev/null; fi
leftovers=$(find /usr -name '*quillon*' 2>/dev/null || true)
[ -z "$leftovers" ] || fail "files named quillon in /usr before installing: $leftovers"
dpkg -i "$deb"
for f in /usr/bin/quillon /usr/share/man/man1/quillon.1.gz /usr/share/quillon/quillon.pdf \
         /usr/share/applications/quillon.desktop /usr/share/mime/packages/quillon.xml \
         /usr/share/doc/quillon/copyright; do
    [ -f "$f" ] || fail "$f is not installed"
done
# The desktop's caches learnt the project type through their triggers.
grep -q "application/x-quillon-project:\*\.batch-quillon" /usr/share/mime/globs2 ||
    fail "the project type is not in the MIME database"
grep -q "application/x-quillon-project=.*quillon.desktop" /usr/share/applications/mimeinfo.cache ||
    fail "the desktop entry is not registered for projects"

step "an ordinary user converts $corpus"
if id "$user" >/dev/null 2>&1; then userdel -r "$user" 2>/dev/null || true; fi
useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
cp -r "$corpus" "$home/talks"
chown -R "$user:" "$home/talks"
as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
data="$home/.local/share/quillon"

as_user /usr/bin/quillon "-P:Source=$home/talks/*.ppt?,Subdir=1,Target=$home/text,ThreadsCount=2,LogFile=$home/run.log,PureConsole=1" ||
    fail "the unattended run ended with $?"
[ -s "$home/run.log" ] || fail "the run wrote no log"
listed=$(wc -l <"$home/run.log")
converted=$(grep -c "^Success => " "$home/run.log" || true)
echo "$listed presentations listed, $converted converted"
[ "$converted" -gt 0 ] || fail "nothing was converted"
# Every text file logged is there (x.ppt and x.pptx of one folder share x.txt).
while IFS= read -r text; do
    [ -f "$text" ] || fail "the log names $text, which is not there"
done < <(grep "^Success => " "$home/run.log" | sed 's/^.* => //; s/\r$//')
[ -f "$data/quillon.ext" ] || fail "no usage store in $data"
[ -f "$data/quillon.log" ] || fail "no recent list in $data"
[ "$(stat -c %U "$data/quillon.ext")" = "$user" ] || fail "the usage store is not the user's"

# The default project is read from the data folder: with it, a start without arguments runs it.
as_user sh -c "printf '%s\r\n' 'Source=$home/talks/python-pptx/*.ppt?' 'Target=$home/default' \
    'PureConsole=1' 'LogFile=$home/default.log' > '$data/quillon.batch-quillon'"
as_user /usr/bin/quillon || fail "the default project's run ended with $?"
[ -s "$home/default.log" ] || fail "a start without arguments did not run the default project"

# A project that is opened goes into the recent list there.
as_user sh -c "printf '%s\r\n' 'Source=$home/talks/poi/38256.ppt' 'Target=$home/job' \
    'PureConsole=1' > '$home/job.batch-quillon'"
as_user /usr/bin/quillon "$home/job.batch-quillon" || fail "the project's run ended with $?"
grep -q "^$home/job.batch-quillon" "$data/quillon.log" || fail "the recent list misses the project"
[ -f "$home/job/38256.txt" ] || fail "the project's file was not converted"

for f in quillon.ext quillon.log quillon.batch-quillon; do
    [ ! -e "/usr/bin/$f" ] || fail "/usr/bin/$f was written"
done

step "man quillon"
page=$(as_user env MANPAGER=cat MANWIDTH=80 man quillon 2>&1) || fail "man quillon: $page"
for heading in SYNOPSIS OPTIONS FILES "EXIT STATUS" EXAMPLES; do
    grep -q "^$heading" <<<"$page" || fail "man quillon has no $heading"
done
echo "$(wc -l <<<"$page") lines"

step "remove"
shipped=()
while read -r f; do [ -d "$f" ] || shipped+=("$f"); done < <(dpkg-query -L quillon)
dpkg -r quillon
for f in "${shipped[@]}"; do
    [ ! -e "$f" ] || fail "$f is still there after dpkg -r"
done
leftovers=$(find /usr -name '*quillon*' 2>/dev/null || true)
[ -z "$leftovers" ] || fail "left in /usr after dpkg -r: $leftovers"
if grep -rl quillon /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache 2>/dev/null; then
    fail "the desktop's caches still name quillon"
fi

echo "package check passed in $((SECONDS - started)) s: lintian, desktop entry, install," \
     "a run as $user with its files in $data, man page, clean removal"
