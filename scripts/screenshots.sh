#!/usr/bin/env bash
# Takes the README's screenshots of the window under a real X server (Xvfb and openbox, installed when
# missing): the thumbnail view, the checkerboard behind a transparent picture and a small picture at 1:1 in
# the enlarged view, all on the demo archive. Writes docs/screenshots/*.png.
#
#   scripts/screenshots.sh      (after scripts/run.sh or a build: needs build/bin/kelvot and the demo archive)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in Xvfb openbox xdotool import; do
    command -v "$tool" > /dev/null || missing=1
done
if [[ -n ${missing:-} ]]; then
    sudo=$([[ $(id -u) -eq 0 ]] || echo sudo)
    $sudo apt-get install -y -qq xvfb openbox xdotool imagemagick > /dev/null
fi
demo=build/samples/DEMO.DAT
[[ -x build/bin/kelvot && -f $demo ]] || { echo "Build first (scripts/run.sh)." >&2; exit 1; }

display=:${KELVOT_SHOT_DISPLAY:-91}
config=$(mktemp -d)
out=docs/screenshots
mkdir -p "$out"
Xvfb "$display" -screen 0 1280x1024x24 > /dev/null 2>&1 &
xvfb=$!
trap 'kill $kelvot $wm $xvfb 2> /dev/null; rm -rf "$config"' EXIT
export DISPLAY=$display XDG_CONFIG_HOME=$config
sleep 1
openbox > /dev/null 2>&1 &
wm=$!
sleep 1
# The checkerboard is on from the start, as a user who ticked it last time would find it.
mkdir -p "$config/Kelvot"
printf '[View]\nCheckerboard=true\n' > "$config/Kelvot/Kelvot.ini"
build/bin/kelvot "$demo" > /dev/null 2>&1 &
kelvot=$!
sleep 3
window=$(xdotool search --sync --onlyvisible --pid "$kelvot" | tail -1)
shot() { sleep 1; import -window "$window" "$out/$1.png"; echo "$out/$1.png"; }
type_filter() { xdotool key --window "$window" ctrl+f; xdotool type --delay 20 "$1"; sleep 0.5; }

xdotool key --window "$window" ctrl+t
shot thumbnails
xdotool key --window "$window" ctrl+t
type_filter VISTA5 # a picture of code 5: a mask in its bytes
xdotool key --window "$window" Tab
shot checkerboard
xdotool key --window "$window" Escape
type_filter SKY3.MIP
xdotool key --window "$window" Tab Return # the enlarged view
sleep 1
xdotool key --window "$window" ctrl+1
shot zoom-1to1
