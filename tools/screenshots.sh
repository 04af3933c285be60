#!/bin/sh
# Remakes the README's pictures: docs/cow.png, docs/penguin.png and
# docs/rabbit.png from the bundled models in data/, and docs/knot.png from a
# model of your own (tools/modelgen/knot). Each is a still the viewer draws
# with --snapshot: no X display, no Xvfb, Mesa's software renderer.
#   tools/screenshots.sh [BUILD_DIR]      (default: build)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
viewer="$build/viewer/celshade"
knot="$build/tools/modelgen/knot"
docs="$root/docs"
for program in "$viewer" "$knot"; do
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
