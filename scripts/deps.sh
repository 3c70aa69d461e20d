#!/bin/sh
# Installs, with apt, whatever the build and the tests need that this Debian 12 machine lacks.
set -eu
packages="cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libcli11-dev qt6-base-dev midicsv libbenchmark-dev time"
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
