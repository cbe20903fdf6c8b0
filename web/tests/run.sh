#!/usr/bin/env bash
# The web page's browser tests: builds the tool and the page, writes the
# test CDs, and runs the Playwright tests in Debian's chromium.
# Screenshots go to build/test-screenshots/web-*.png.
#
#   bash web/tests/run.sh [PLAYWRIGHT ARGS...]
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/common.sh

ensure_packages chromium python3 cmake make g++ libcli11-dev
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
cd web
exec npx playwright test -c tests/playwright.config.mjs "$@"
