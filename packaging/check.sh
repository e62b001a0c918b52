#!/usr/bin/env bash
# The Debian package as a user meets it: lintian finds no error in it, its desktop entry is
# valid, its icons are there at every size of the hicolor theme, no maintainer script of its own
# updates the desktop's caches (the icon cache too: their packages' triggers do), it installs,
# an ordinary user converts a folder of real presentations with the installed program and finds
# its files in their own data folder, merges its JSON log with the installed cluster scripts,
# `man quillon` opens, and removing the package leaves nothing in /usr nor in those caches, and
# nothing of it in dpkg's database (no maintainer script, so no "rc" entry).
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

step "icons"
theme=/usr/share/icons/hicolor
sizes=(16 22 24 32 48 64 128 256)
icons=(apps/quillon mimetypes/application-x-quillon-project)
for icon in "${icons[@]}"; do
    for size in "${sizes[@]}"; do
        png=$theme/${size}x$size/$icon.png
        [ -f "$scratch/root$png" ] || fail "the package has no $png"
        kind=$(file -b "$scratch/root$png")
        [[ $kind == "PNG image data, $size x $size,"* ]] || fail "$png is $kind"
    done
    svg=$theme/scalable/$icon.svg
    [ -f "$scratch/root$svg" ] || fail "the package has no $svg"
    kind=$(file -b "$scratch/root$svg")
    [[ $kind == "SVG Scalable Vector Graphics image"* ]] || fail "$svg is $kind"
done
extra=$(find "$scratch/root$theme" -type f | sed "s|^$scratch/root||" |
        grep -vE "^$theme/([0-9]+x[0-9]+/.*\.png|scalable/.*\.svg)$" || true)
[ -z "$extra" ] || fail "the icon theme gets files that are no icons: $extra"
# The icon cache, the MIME database and the desktop entries' cache are rebuilt by the triggers
# of the packages that own them, never by a maintainer script of ours.
dpkg-deb -e "$deb" "$scratch/control"
# Without a postrm, dpkg forgets a removed package; with one it keeps it as "rc" until a purge.
for script in preinst postinst prerm postrm; do
    [ ! -f "$scratch/control/$script" ] ||
        fail "the package has a $script: $(tr '\n' ' ' <"$scratch/control/$script")"
done
caches="update-icon-cache|update-mime-database|update-desktop-database"
caches+="|/usr/share/(icons|mime|applications)"
for script in preinst postinst prerm postrm; do
    [ -f "$scratch/control/$script" ] || continue
    if grep -nE "$caches" "$scratch/control/$script"; then
        fail "the package's $script updates a desktop cache, which is its owner's trigger's job"
    fi
done

step "install"
if dpkg-query -W quillon >/dev/null 2>&1; then dpkg -r quillon >/dev/null; fi
leftovers=$(find /usr -name '*quillon*' 2>/dev/null || true)
[ -z "$leftovers" ] || fail "files named quillon in /usr before installing: $leftovers"
dpkg -i "$deb"
cluster=/usr/share/quillon/cluster
for f in /usr/bin/quillon /usr/share/man/man1/quillon.1.gz /usr/share/quillon/quillon.pdf \
         /usr/share/applications/quillon.desktop /usr/share/mime/packages/quillon.xml \
         /usr/share/doc/quillon/copyright /usr/share/doc/quillon/slides.schema.json \
         $cluster/quillon_project.py \
         $cluster/quillon-indexed-job.yaml $cluster/Containerfile; do
    [ -f "$f" ] || fail "$f is not installed"
done
for f in merge-logs.py shard.py dask-convert.py quillon-array.sbatch; do
    [ -x "$cluster/$f" ] || fail "$cluster/$f is not installed as a program"
done
module=$(dpkg-query -L quillon | grep '/quillon-window\.so$') || fail "no window module installed"
case $module in
    /usr/lib/*-linux-*/quillon/quillon-window.so) ;;
    *) fail "the window module is at $module, not in the architecture's private folder" ;;
esac
for icon in "${icons[@]}"; do
    for size in "${sizes[@]}"; do
        png=$theme/${size}x$size/$icon.png
        [ -f "$png" ] || fail "$png is not installed"
    done
    [ -f "$theme/scalable/$icon.svg" ] || fail "$theme/scalable/$icon.svg is not installed"
done
# The desktop's caches learnt the project type through their triggers.
grep -q "application/x-quillon-project:\*\.batch-quillon" /usr/share/mime/globs2 ||
    fail "the project type is not in the MIME database"
grep -q "application/x-quillon-project=.*quillon.desktop" /usr/share/applications/mimeinfo.cache ||
    fail "the desktop entry is not registered for projects"
grep -qx "application/x-quillon-project:application-x-quillon-project" /usr/share/mime/icons ||
    fail "the MIME database does not give projects their icon"
# The icon names with quillon in them that the theme's cache holds, one a line. The cache is
# GTK's binary file: big-endian numbers, at 4 the offset of a hash table of buckets, each the
# offset of a chain of icons, each icon the offset of the next one (0xffffffff ends) and of its
# name, a string ended by NUL.
cached_icons() {
    perl -e '
        open(my $f, "<:raw", shift) or exit 1; local $/; my $d = <$f>;
        my $hash = unpack("N", substr($d, 4, 4)); my $buckets = unpack("N", substr($d, $hash, 4));
        for my $b (0 .. $buckets - 1) {
            for (my $icon = unpack("N", substr($d, $hash + 4 + 4 * $b, 4)); $icon != 0xffffffff;
                 $icon = unpack("N", substr($d, $icon, 4))) {
                print unpack("Z*", substr($d, unpack("N", substr($d, $icon + 4, 4)))), "\n";
            }
        }' "$theme/icon-theme.cache" 2>/dev/null | grep quillon | sort
}
cache_kept=
if command -v gtk-update-icon-cache >/dev/null && [ -f "$theme/index.theme" ]; then
    cache_kept=yes
    [ "$(cached_icons | tr '\n' ' ')" = "application-x-quillon-project quillon " ] ||
        fail "the icon cache names $(cached_icons | tr '\n' ' ')instead of both icons"
    gtk-update-icon-cache --validate "$theme" || fail "the icon cache is not valid"
else
    echo "no icon cache to check (needs gtk-update-icon-cache and hicolor-icon-theme)"
fi

step "an ordinary user converts $corpus"
if id "$user" >/dev/null 2>&1; then userdel -r "$user" 2>/dev/null || true; fi
useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
cp -r "$corpus" "$home/talks"
chown -R "$user:" "$home/talks"
as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
data="$home/.local/share/quillon"

as_user /usr/bin/quillon "-P:Source=$home/talks/*.ppt?,Subdir=1,Target=$home/text,ThreadsCount=2,LogFile=$home/run.log,JsonLog=$home/run.jsonl,PureConsole=1" ||
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
# The installed merge reads the run's JSON log (some samples fail on purpose: exit 1).
merged=$(as_user /usr/bin/python3 $cluster/merge-logs.py "$home/run.jsonl") && status=0 || status=$?
[ "$status" -eq 1 ] && [[ $merged == "$listed sources: "* ]] ||
    fail "the installed merge-logs.py said \"$merged\" with $status"
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
if state=$(dpkg-query -W -f='${db:Status-Abbrev}' quillon 2>/dev/null); then
    fail "dpkg still knows the removed package: $state"
fi
if grep -rl quillon /usr/share/mime/globs2 /usr/share/mime/icons \
       /usr/share/applications/mimeinfo.cache 2>/dev/null; then
    fail "the desktop's caches still name quillon"
fi
if [ -n "$cache_kept" ] && [ -n "$(cached_icons)" ]; then
    fail "the icon cache still names $(cached_icons | tr '\n' ' ')"
fi

echo "package check passed in $((SECONDS - started)) s: lintian, desktop entry, icons, install," \
     "a run as $user with its files in $data, man page, clean removal"
