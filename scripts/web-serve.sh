#!/bin/sh
# Builds the static site (build-web/site) and serves it on http://127.0.0.1:8000/ for trying
# it in a browser; another port as the first argument. Ctrl+C ends it.
set -eu
cd "$(dirname "$0")/.."
cmake --preset web >/dev/null
cmake --build --preset web
exec /usr/bin/node web/serve.mjs build-web/site "${1:-8000}"
