#!/bin/sh
# Remakes the README's pictures: docs/cow.png, docs/penguin.png and
# docs/rabbit.png from the bundled models in data/; docs/knot.png,
# docs/robot.png and the turntable docs/robot-spin.gif from models of your
# own (tools/modelgen/knot and robot). Each is a still the viewer draws with
# --snapshot: no X display, no Xvfb, Mesa's software renderer; the GIF is
# made with ImageMagick's convert.
#   tools/screenshots.sh [BUILD_DIR]      (default: build)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
viewer="$build/viewer/celshade"
knot="$build/tools/modelgen/knot"
robot="$build/tools/modelgen/robot"
globe="$build/tools/modelgen/globe"
docs="$root/docs"
for program in "$viewer" "$knot" "$robot" "$globe"; do
  if [ ! -x "$program" ]; then
    echo "No $program: build it first (make build)." >&2
    exit 1
  fi
done
mkdir -p "$docs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# shoot NAME [OPTION ...]: a still of what the options show, as docs/NAME.png.
shoot() {
  name=$1
  shift
  (cd "$root/data" && env -u DISPLAY "$viewer" --snapshot "$docs/$name.png" "$@") >"$work/out" 2>&1 ||
    { cat "$work/out" >&2; exit 1; }
  echo "docs/$name.png"
}

shoot cow                          # start-up: cow, eye distance 4
shoot penguin --keys 2sssssss      # penguin, eye distance 3, zoomed out to about 4
shoot rabbit --keys 3              # rabbit, eye distance 2
"$knot" "$work"
shoot knot "$work/knot.obj"        # a model of your own, with data/Shader.txt
"$globe" "$work"
shoot globe --turn 20,15 "$work/globe.obj"  # a textured one: map_Kd globe.png

# The robot a quarter of a million units from the origin, a thousand times
# too large, Z-up, its normals a hundredth long: shown upright and turned.
"$robot" "$work" --at 100000,-250000,40000 --scale 1000 --z-up --normal-length 0.01
shoot robot --up z --turn 30,15 "$work/robot.obj"
(cd "$work" && env -u DISPLAY "$viewer" --snapshot spin.png --turntable 24 --size 480x300 --up z \
  robot.obj >out 2>&1 && convert -delay 8 -loop 0 spin-*.png "$docs/robot-spin.gif") ||
  { cat "$work/out" >&2; exit 1; }
echo "docs/robot-spin.gif"
