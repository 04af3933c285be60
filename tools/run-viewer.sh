#!/bin/sh
# Starts the viewer in data/, where its models and shading ramp live. Without
# a display the viewer itself says so and shows the ways that need none.
#   tools/run-viewer.sh [BUILD_DIR]      (make run does this)
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" 2>/dev/null && pwd) || build="$root/build"
viewer="$build/viewer/celshade"
if [ ! -x "$viewer" ]; then
  echo "No viewer at $viewer: build it first (make build)." >&2
  exit 1
fi
cd "$root/data" && exec "$viewer"
