#!/usr/bin/env bash
# Takes the screenshots of the window under docs/ from the real program under Xvfb: the main
# window idle, during a run of 6,000 files, after a run over the sample presentations (with a
# damaged one read in part and an empty one that fails), on a 640 x 480 screen with openbox,
# the options dialog and the about box. Needs xvfb-run, xdotool, openbox and ImageMagick's
# import (make screenshots installs them).
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
: > "$work/in/empty.pptx"
python3 - "$docs/../samples/quarterly-review.pptx" "$work/in/cut-short.pptx" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
# Cut where the zip directory begins: the engine rebuilds it from the entries.
open(sys.argv[2], "wb").write(data[:data.find(b"PK\x01\x02")])
PY
mkdir "$work/many"
for i in $(seq -w 0 5999); do ln "$work/in/product-launch.ppt" "$work/many/deck-$i.ppt"; done
printf 'Source=%s/in/*.ppt?\r\nTarget=%s/out\r\nThreadsCount=2\r\n' "$work" "$work" \
    > "$work/demo.batch-quillon"
printf 'Source=%s/many/*.ppt?\r\nTarget=%s/out-many\r\nThreadsCount=1\r\n' "$work" "$work" \
    > "$work/many.batch-quillon"

cat > "$work/take.sh" <<'SH'
#!/usr/bin/env bash
set -euo pipefail
work=$1 docs=$2 screen=$3
cd "$work"
shot() { import -window root -crop "$3x$4+$1+$2" +repage "$docs/$5"; }
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
open_window() {
    DBUS_SESSION_BUS_ADDRESS=disabled: ./quillon "$work/$1.batch-quillon" &
    pid=$!
    window=""
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --name "Quillon Converter" 2>/dev/null | head -1) &&
            [ -n "$window" ] && break
        sleep 0.2
    done
    sleep 1.5
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
if [ "$screen" = narrow ]; then
    # The whole 640 x 480 screen, the window placed and sized by a window manager.
    openbox &
    manager=$!
    sleep 1
    rm -rf out
    open_window demo
    xdotool windowactivate --sync "$window"
    xdotool key --clearmodifiers alt+c   # Convert
    sleep 4
    import -window root "$docs/window-narrow.png"
    kill "$pid" "$manager"
    exit 0
fi
open_window many
click 1155 78     # Convert
sleep 0.25
shot "$X" "$Y" 1200 600 window-running.png
kill "$pid"
wait "$pid" || true
open_window demo
shot "$X" "$Y" 1200 600 window-idle.png
click 1155 78     # Convert
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
# Its own window, named as the product alone; under load it takes its time to appear.
for _ in $(seq 50); do
    xdotool search --onlyvisible --name "^Quillon Converter$" >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 0.5
# The about box is centred on the screen, 472 x 243.
shot $(((1280 - 472) / 2)) $(((800 - 243) / 2)) 472 243 about-box.png
xdotool mousemove 640 400 click 1
kill "$pid"
SH
chmod +x "$work/take.sh"
xvfb-run -a -s "-screen 0 1280x800x24" "$work/take.sh" "$work" "$docs" wide
xvfb-run -a -s "-screen 0 640x480x24" "$work/take.sh" "$work" "$docs" narrow
ls -l "$docs"/*.png
