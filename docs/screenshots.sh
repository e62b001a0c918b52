#!/usr/bin/env bash
# Takes the screenshots of the window under docs/ from the real program under Xvfb: the main
# window idle and after a run over the sample presentations, the options dialog and the about
# box. Needs xvfb-run, xdotool and ImageMagick's import (make screenshots installs them).
#
#   docs/screenshots.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: screenshots.sh BUILD_DIR}")
docs=$(realpath "$(dirname "$0")")
# A short, fixed folder: its paths are what the pictures show.
work=${TMPDIR:-/tmp}/talks
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cp "$build/quillon" "$build/quillon-window.so" "$work/"
mkdir "$work/in"
cp "$docs/../samples/"*.ppt* "$work/in/"
printf 'Source=%s/in/*.ppt?\r\nTarget=%s/out\r\nThreadsCount=2\r\n' "$work" "$work" \
    > "$work/demo.batch-quillon"

cat > "$work/take.sh" <<'SH'
#!/usr/bin/env bash
set -euo pipefail
work=$1 docs=$2
cd "$work"
DBUS_SESSION_BUS_ADDRESS=disabled: ./quillon "$work/demo.batch-quillon" &
pid=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --name "Quillon Converter" 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.2
done
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
shot() { import -window root -crop "$3x$4+$1+$2" +repage "$docs/$5"; }
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
shot "$X" "$Y" 1200 600 window-idle.png
click 750 81      # Convert
sleep 4
shot "$X" "$Y" 1200 600 window-after-run.png
click 238 15      # Config
sleep 1.5
dialog=$(xdotool search --name "^Config$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$dialog")"
shot "$X" "$Y" "$WIDTH" "$HEIGHT" options-dialog.png
xdotool key --window "$dialog" Escape || true
xdotool mousemove $((X + 236)) $((Y + 245)) click 1   # Cancel
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$window")"
click 965 15      # About
sleep 1.5
# The about box is centred on the screen, 472 x 243.
shot $(((1280 - 472) / 2)) $(((800 - 243) / 2)) 472 243 about-box.png
xdotool mousemove 640 400 click 1
kill "$pid"
SH
chmod +x "$work/take.sh"
xvfb-run -a -s "-screen 0 1280x800x24" "$work/take.sh" "$work" "$docs"
ls -l "$docs"/*.png
