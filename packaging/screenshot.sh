#!/bin/sh
# Draws packaging/screenshot.png, the window as the metainfo shows it: the demo data, the
# options confirmed, a test upload run, on a virtual display of 1024x768 with a window
# manager. Needs the built programs (build/bin), Xvfb, openbox, xdotool and ImageMagick's
# import.
#
#   packaging/screenshot.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build}/bin
work=$(mktemp -d)
trap 'kill $app $wm $display 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/quorvane-cli" --data-dir "$work/quorvane260" demo >/dev/null
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" &
display=$!
while [ ! -s "$work/display" ]; do sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY
openbox >/dev/null 2>&1 &
wm=$!
QUORVANE_DATA_DIR="$work/quorvane260" "$bin/quorvane" >/dev/null 2>&1 &
app=$!

# The options dialog first: OK takes the demo's options.
dialog=$(xdotool search --sync --onlyvisible --name 'lotwreport.adi' | head -n 1)
xdotool windowactivate --sync "$dialog" key --clearmodifiers Return
window=$(xdotool search --sync --onlyvisible --name '^Quorvane Version' | head -n 1)
xdotool windowactivate --sync "$window"
sleep 1
# "Test only", then "Upload", clicked where the form lays them out at this size.
xdotool mousemove --window "$window" 25 383 click 1
xdotool mousemove --window "$window" 70 290 click 1
sleep 4
import -window "$window" "$root/packaging/screenshot.png"
echo "written: $root/packaging/screenshot.png"
