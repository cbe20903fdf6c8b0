#!/usr/bin/env bash
# The web page: builds the core with Emscripten and assembles the one-file
# page build/web/kelvora-viewer.html; without "build", also serves it on
# http://127.0.0.1:PORT/ (default 8123) for development.  The page works as
# well opened straight from the disk (file://).
#
#   bash scripts/web.sh [build] [--port N]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

serve=1 port=8123
while [ $# -gt 0 ]; do
  case "$1" in
    build) serve=0 ;;
    --port) port=$2; shift ;;
    *) echo "usage: bash scripts/web.sh [build] [--port N]" >&2; exit 2 ;;
  esac
  shift
done

ensure_packages cmake make emscripten python3
command -v npm >/dev/null || ensure_packages nodejs npm

# The page's npm packages, exactly as locked (and without the browser
# browser downloads of the test drivers: the tests use Debian's browsers).
if [ ! -d web/node_modules ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
  (cd web && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi

# Debian's Emscripten optimiser needs acorn from the system's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
cmake --preset web >/dev/null
cmake --build --preset web -j"$(build_jobs)" --target kelvora_web >/dev/null
node web/build.mjs build/web-core/web/kelvora_web.js build/web/kelvora-viewer.html

if [ "$serve" = 1 ]; then
  echo "Serving the page at http://127.0.0.1:$port/kelvora-viewer.html (Ctrl-C stops)"
  exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
fi
