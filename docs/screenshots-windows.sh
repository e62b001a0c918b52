#!/usr/bin/env bash
# Takes the screenshots of the Windows window under docs/ from the real quillon.exe under Wine
# on Xvfb, with openbox placing the windows and Wine's Tahoma (fonts-wine), as Windows shows
# Tahoma: the main window after a run over the sample presentations, the options dialog and the
# about box. Only the windows' own area is taken: the frames would be openbox's, not Windows'.
# Needs xvfb-run, openbox, xdotool and ImageMagick (make screenshots-windows installs them).
#
#   docs/screenshots-windows.sh BUILD_WINDOWS_DIR
set -euo pipefail
build=$(realpath "${1:?usage: screenshots-windows.sh BUILD_WINDOWS_DIR}")
docs=$(realpath "$(dirname "$0")")
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"
# A short, fixed folder on drive C: its paths are what the pictures show.
work="$WINEPREFIX/drive_c/talks"
rm -rf "$work"
mkdir -p "$work/in"
trap 'rm -rf "$work"' EXIT
cp "$build/quillon.exe" "$work/"
cp "$docs/../samples/"*.ppt "$docs/../samples/"*.pptx "$work/in/"
printf 'Source=C:\\talks\\in\\*.ppt?\r\nTarget=C:\\talks\\out\r\nThreadsCount=2\r\n' \
    >"$work/demo.batch-quillon"

cat >"$work/take.sh" <<'SH'
#!/usr/bin/env bash
set -euo pipefail
work=$1 docs=$2
openbox >/dev/null 2>&1 &
sleep 1
/usr/lib/wine/wine64 "$work/quillon.exe" 'C:\talks\demo.batch-quillon' &
pid=$!
find_window() {
    local found=""
    for _ in $(seq 100); do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$found" ] && break
        sleep 0.3
    done
    [ -n "$found" ] || { echo "no window named $1" >&2; kill "$pid"; exit 1; }
    echo "$found"
}
window=$(find_window "^Quillon Converter")
sleep 2
shot() { import -window "$1" "$docs/$2"; }
xdotool windowactivate --sync "$window" || true
xdotool key --window "$window" alt+c      # Convert
sleep 8
shot "$window" windows-main-window.png
# Placed by the window itself: the origin xdotool reports for a Wine window is off by openbox's
# title bar. Wine takes a click only after the pointer's move has reached it.
click() { xdotool mousemove --window "$window" "$1" "$2" sleep 0.5 click 1; }
click "$CONFIG_X" "$CONFIG_Y"             # Config
dialog=$(find_window "^Config$")
sleep 1
shot "$dialog" windows-options-dialog.png
xdotool key --window "$dialog" Escape || true
sleep 1
click "$ABOUT_X" "$ABOUT_Y"               # About
sleep 2
# Its own window, named as the product alone.
about=$(find_window "^Quillon Converter$")
shot "$about" windows-about-box.png
xdotool key --window "$about" Escape || true
kill "$pid" 2>/dev/null || true
SH
chmod +x "$work/take.sh"
xvfb-run -a -s "-screen 0 1280x800x24" env CONFIG_X=238 CONFIG_Y=15 ABOUT_X=965 ABOUT_Y=15 \
    "$work/take.sh" "$work" "$docs"
/usr/lib/wine/wineserver -k || true
ls -l "$docs"/windows-*.png
