#!/bin/sh
# Builds the web preset (the engine as WebAssembly and the static site in build-web/site) and
# runs its tests with Node's test runner: the module against koralux-cli, then the page in
# Debian's chromium. koralux-cli and koralux-gen come from the default preset's build, which
# must be there first (cmake --preset default && cmake --build --preset default).
set -eu
cd "$(dirname "$0")/.."
for program in koralux-cli koralux-gen; do
  if [ ! -x "build/bin/$program" ]; then
    echo "web-test: build/bin/$program is missing; build the default preset first" >&2
    exit 1
  fi
done
cmake --preset web >/dev/null
cmake --build --preset web  # installs the page's npm libraries (npm ci) when they are missing
cd web
/usr/bin/node --test --test-reporter=spec test/*.test.mjs
