#!/bin/sh
# Starts the viewer in data/, where its models and shading ramp live.
#   tools/run-viewer.sh [BUILD_DIR]      (make run does this)
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" 2>/dev/null && pwd) || build="$root/build"
viewer="$build/viewer/celshade"
if [ ! -x "$viewer" ]; then
  echo "No viewer at $viewer: build it first (make build)." >&2
  exit 1
fi
# Without a reachable X display GLUT can only fail: say so in one line and
# show how to run it on a virtual display instead.
if [ -z "${DISPLAY:-}" ] || { command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; }; then
  echo "No X display (DISPLAY='${DISPLAY:-}'); run it on a virtual one: cd $root/data && xvfb-run -a -s '-screen 0 1024x768x24' $viewer" >&2
  exit 1
fi
cd "$root/data" && exec "$viewer"
