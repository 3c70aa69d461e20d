#!/bin/sh
# Installs, with apt, whatever the build and the tests need that this Debian 12 machine lacks.
#   scripts/deps.sh         what the build, the tests and the sanitizer builds need
#   scripts/deps.sh fuzz    that, and clang with libFuzzer for the fuzz targets
#   scripts/deps.sh web     that, and emscripten, Node.js, chromium and the page's sound font
#                           (TimGM6mb, and sf3convert to compress it) for the web preset
#   scripts/deps.sh windows that, and the MinGW-w64 cross-compiler, GoogleTest's sources, NSIS
#                           for the installer and Wine (with xvfb, xdotool and ImageMagick's
#                           import for the dialog's test) for the windows preset
set -eu
packages="cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev
  qt6-base-dev midicsv desktop-file-utils appstream shared-mime-info groff-base dpkg-dev lintian
  libbenchmark-dev time libfluidsynth-dev libsndfile1-dev fluid-soundfont-gm sox flac vorbis-tools
  libminizip-dev mtools dosfstools zip"
if [ "${1:-}" = fuzz ]; then
  packages="$packages clang libclang-rt-14-dev"
fi
if [ "${1:-}" = windows ]; then
  packages="$packages g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix googletest nsis wine xvfb xdotool imagemagick"
fi
if [ "${1:-}" = web ]; then
  packages="$packages emscripten nodejs chromium timgm6mb-soundfont sf3convert"
  # Debian's nodejs comes without npm; other builds of nodejs bring their own.
  command -v npm >/dev/null 2>&1 || packages="$packages npm"
fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing" >&2
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
fi
