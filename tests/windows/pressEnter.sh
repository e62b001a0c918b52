#!/bin/sh
# Starts a Windows program under Wine on the X server of DISPLAY, presses Enter in its window
# once it shows (a user taking the first page's default button), and waits until no window of
# that title is left (an uninstaller goes on in a copy of itself).
#
#   pressEnter.sh <title> <wine runner> <program> [arguments]
set -eu
title="$1"
shift
"$@" &
window=""
for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -1) || true
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "no window \"$title\""; exit 1; }
sleep 1
xdotool key --clearmodifiers Return
for _ in $(seq 600); do
    xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 || exit 0
    sleep 0.2
done
echo "the window \"$title\" stayed"
exit 1
