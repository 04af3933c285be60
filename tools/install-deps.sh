#!/bin/sh
# Installs the Debian/Ubuntu packages celshade needs to build, test and run,
# asking apt only for what is missing.
set -e
packages="build-essential cmake pkg-config libgtest-dev libtinyobjloader-dev libgl1-mesa-dev libglu1-mesa-dev
  freeglut3-dev libgl1-mesa-dri xvfb xauth xdotool x11-utils imagemagick
  libx11-dev libxtst-dev libegl-dev libegl-mesa0 libpng-dev libassimp-dev libstb-dev
  clang-format"
[ "${1:-}" = "--fuzz" ] && packages="$packages clang libclang-rt-14-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
