#!/usr/bin/env bash
# The web page's browser tests: builds the tool and the page, writes the
# test CDs, runs the Playwright tests in Debian's chromium, then the suite
# of the three engines (chromium, firefox-esr through WebDriver BiDi, and
# WebKitGTK's MiniBrowser through WebKitWebDriver under Xvfb), each on the
# page opened from file://.  Screenshots go to build/test-screenshots/web-*.png.
#
#   bash web/tests/run.sh [PLAYWRIGHT ARGS...]
#   KELVORA_WEB_ENGINES="firefox webkit" bash web/tests/run.sh   (some engines)
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/common.sh

ensure_packages chromium firefox-esr webkit2gtk-driver xvfb python3 cmake make g++ libcli11-dev
bash scripts/web.sh build
cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(build_jobs)" --target kelvora >/dev/null

root=$PWD
export KELVORA_TOOL=$root/build/cli/cli/kelvora
export KELVORA_WEB_PAGE=$root/build/web/kelvora-viewer.html
bash web/tests/make_fixtures.sh "$KELVORA_TOOL" "$root/build/web-test"
export KELVORA_WEB_DIR=$root/build/web
export KELVORA_WEB_FIXTURES=$root/build/web-test
export KELVORA_WEB_RESULTS=$root/build/web-test/results
export KELVORA_SCREENSHOTS=$root/build/test-screenshots

# A CD of one large file, for the memory of a long export.
export KELVORA_WEB_LARGE=large KELVORA_WEB_LARGE_MIB=${KELVORA_WEB_LARGE_MIB:-256}
mkdir -p "$KELVORA_WEB_FIXTURES/large-src"
head -c $((KELVORA_WEB_LARGE_MIB * 1048576)) /dev/urandom > "$KELVORA_WEB_FIXTURES/large-src/big.bin"
"$KELVORA_TOOL" build "$KELVORA_WEB_FIXTURES/large-src" -o "$KELVORA_WEB_FIXTURES/large" >/dev/null 2>&1
rm -rf "$KELVORA_WEB_FIXTURES/large-src"

cd web
timeout 900 npx playwright test -c tests/playwright.config.mjs "$@"
for engine in ${KELVORA_WEB_ENGINES:-chromium firefox webkit}; do
  echo "== The page in $engine"
  KELVORA_ENGINE=$engine timeout 600 node --test tests/engines/suite.mjs
done
