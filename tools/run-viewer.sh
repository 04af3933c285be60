#!/bin/sh
# Starts the viewer in data/, where its models and shading ramp live.
build="${1:-build}"
viewer="$build/viewer/celshade"
if [ ! -x "$viewer" ]; then
  echo "The viewer is not built yet: only the model library exists so far."
  exit 0
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: set DISPLAY, or run it on a virtual one: cd data && xvfb-run -s '-screen 0 1024x768x24' ../$viewer"
  exit 1
fi
cd data && exec "../$viewer"
