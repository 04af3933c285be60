#!/bin/sh
# Remakes the README's pictures docs/cow.png, docs/penguin.png and
# docs/rabbit.png: runs the viewer in data/ on a virtual X display of its
# own (Xvfb, Mesa's software renderer), presses the keys a user would and
# captures the 800 x 600 window after each.
#   tools/screenshots.sh [BUILD_DIR]      (default: build)
# Needs xvfb, xdotool and imagemagick (tools/install-deps.sh installs them).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
viewer="$build/viewer/celshade"
docs="$root/docs"
if [ ! -x "$viewer" ]; then
  echo "No viewer at $viewer: build it first (make build)." >&2
  exit 1
fi
mkdir -p "$docs"
work=$(mktemp -d)
xvfb_pid=""
viewer_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY

(cd "$root/data" && exec "$viewer") >"$work/viewer.out" 2>&1 &
viewer_pid=$!
window=$(xdotool search --sync --onlyvisible --name "Cel Shading" | head -n 1)
# Without a window manager the window may sit partly off the screen, where
# nothing is drawn: put it in the corner.
xdotool windowmove --sync "$window" 0 0
xdotool windowfocus --sync "$window"

# Give the idle loop time to draw a few frames after every change.
settle() { sleep 1.5; }
shoot() { settle; import -window "$window" "$docs/$1.png"; echo "docs/$1.png"; }

shoot cow                                  # start-up: cow, eye distance 4
xdotool key 2                              # penguin, eye distance 3 ...
for _ in 1 2 3 4 5 6 7; do xdotool key s; done  # ... zoomed out to about 4
shoot penguin
xdotool key 3                              # rabbit, eye distance 2
shoot rabbit
xdotool key q
wait "$viewer_pid" || true
viewer_pid=""
