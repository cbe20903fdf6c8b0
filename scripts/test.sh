#!/usr/bin/env bash
# Installs whatever is missing, builds everything and runs every test:
# the native suite, the same suite under AddressSanitizer and UBSan, and a
# build of the benchmarks.  Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

ensure_packages cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev \
  clang libclang-rt-14-dev util-linux time \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
  wine wine64 xvfb locales xdotool imagemagick python3 fonts-dejavu-core fonts-ipafont-gothic \
  xorriso genisoimage help2man dpkg-dev unzip strace pkg-config libfuse3-dev fuse3 e2fsprogs \
  emscripten chromium firefox-esr webkit2gtk-driver

ensure_wine32
ensure_locales ru_RU.UTF-8 ja_JP.UTF-8 hi_IN.UTF-8

echo "== Native build and tests"
cmake --preset native
cmake --build --preset native -j"$(build_jobs)"
ctest --preset native -j"$(build_jobs)"

echo "== Tests under AddressSanitizer and UBSan"
cmake --preset sanitize
cmake --build --preset sanitize -j"$(build_jobs)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset sanitize -j"$(build_jobs)"

echo "== Windows programs: i686 (the deliverable) and x86_64"
cmake --preset mingw-i686
cmake --build --preset mingw-i686 -j"$(build_jobs)"
bash scripts/check_pe.sh pe32 build/mingw-i686/viewer/viewer.exe \
  build/mingw-i686/uninstaller/uninstaller.exe
bash scripts/check_pe.sh pe32 --console build/mingw-i686/cli/kelvora.exe
cmake --preset mingw-x64
cmake --build --preset mingw-x64 -j"$(build_jobs)"
bash scripts/check_pe.sh pe32+ build/mingw-x64/viewer/viewer.exe \
  build/mingw-x64/uninstaller/uninstaller.exe
bash scripts/check_pe.sh pe32+ --console build/mingw-x64/cli/kelvora.exe

echo "== Windows programs under Wine: i686 (the deliverable), then x86_64; screenshots in build/test-screenshots"
ctest --preset mingw-i686 --timeout 400
ctest --preset mingw-x64 --timeout 400

echo "== Web page in the three browser engines (Debian's chromium, firefox-esr, WebKitGTK); screenshots in build/test-screenshots/web-*.png"
bash web/tests/run.sh

echo "== Packages: .deb, .tar.gz and .zip into build/packages, then installed and checked"
bash scripts/package.sh
bash scripts/check_packages.sh

echo "== Fuzzing, a short run of every target"
bash tests/fuzz/run "${KELVORA_FUZZ_SECONDS:-15}"

echo "== Benchmarks build"
cmake --preset bench
cmake --build --preset bench -j"$(build_jobs)"

echo "== All tests passed"
