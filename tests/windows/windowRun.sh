#!/bin/sh
# The window of quillon.exe under Wine on a real X server (Xvfb), with Windows' own platform
# plugin: a project that runs and closes converts the sample decks from the window, logs them,
# remembers the project and ends with 0, as a double-clicked project would.
#
#   windowRun.sh <wine runner> <quillon.exe> <samples folder> <work folder>
set -eu
wine="$1" exe="$2" samples="$(cd "$3" && pwd)" work="$4"
fail() { echo "$*"; exit 1; }
rm -rf "$work"
mkdir -p "$work/in"
work="$(cd "$work" && pwd)"
# A copy: the files kept beside the program (the recent list, the usage store) go with it.
cp "$exe" "$work/quillon.exe"
cp "$samples"/*.ppt "$samples"/*.pptx "$work/in/"
dos() { printf 'Z:%s' "$1" | tr / '\\'; }

project="$work/run.batch-quillon"
printf 'Source=%s\\*.ppt?\r\nTarget=%s\r\nRunAndClose=1\r\nThreadsCount=2\r\nLogFile=%s\r\n' \
    "$(dos "$work/in")" "$(dos "$work/out")" "$(dos "$work/run.log")" >"$project"
start=$(date +%s)
status=0
# On the X server of DISPLAY when there is one (make test-windows starts one for every test):
# Wine's desktop belongs to its server's first program, on that program's display.
if [ -n "${DISPLAY:-}" ]; then
    timeout 300 "$wine" "$work/quillon.exe" "$(dos "$project")" >"$work/out.txt" 2>&1 || status=$?
else
    timeout 300 xvfb-run -a -s "-screen 0 1280x800x24" \
        "$wine" "$work/quillon.exe" "$(dos "$project")" >"$work/out.txt" 2>&1 || status=$?
fi
[ "$status" = 0 ] || fail "the window ended with $status: $(cat "$work/out.txt")"

decks=$(ls "$work/in" | wc -l)
[ -f "$work/run.log" ] || fail "no log"
logged=$(tr -d '\r' <"$work/run.log" | grep -c ' => ' || true)
[ "$logged" = "$decks" ] || fail "$logged of $decks decks logged: $(cat "$work/run.log")"
for deck in "$work"/in/*; do
    name=$(basename "$deck")
    text="$work/out/${name%.*}.txt"
    case "$name" in
    damaged.*) [ ! -e "$text" ] || fail "a text of the damaged $name" ;;
    *) [ -s "$text" ] || fail "no text of $name" ;;
    esac
done
# The log of a window run: "[state] => source => result", a failure for the damaged deck.
grep -q '^\[Failure\] => .*damaged' "$work/run.log" || fail "the damaged deck is not a failure"
tr -d '\r' <"$work/quillon.exe.log" | grep -qxF "$(dos "$project")" ||
    fail "the project is not in the recent list: $(cat "$work/quillon.exe.log")"
echo "the window converted $decks decks and closed in $(($(date +%s) - start)) s"
