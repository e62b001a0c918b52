#!/bin/sh
# Runs a Windows program under Wine: quietly, and in the prefix named by WINEPREFIX, by default
# the one of the Windows build folder (the folder above the program's, up to the one that holds
# CMakeCache.txt), so that tests never touch the user's own prefix.
if [ -z "$WINEPREFIX" ]; then
    dir="$(cd "$(dirname "$1")" && pwd)"
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir="$(dirname "$dir")"; done
    [ "$dir" = / ] && dir="$(pwd)"
    WINEPREFIX="$dir/wine"
    export WINEPREFIX
fi
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
