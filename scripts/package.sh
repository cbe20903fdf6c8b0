#!/usr/bin/env bash
# Builds the release packages into build/packages/:
#   kelvora_VERSION_ARCH.deb              the tool for Debian and Ubuntu
#   kelvora-VERSION-linux-ARCH.tar.gz     the same files, for any Linux
#   kelvora-VERSION-win32.zip             viewer.exe, uninstaller.exe and
#                                         kelvora.exe (i686), README, licence
# scripts/check_packages.sh checks them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

# GoogleTest's sources: the Windows build's configuration takes them for its
# Wine tests.
ensure_packages cmake make g++ libcli11-dev libgtest-dev python3 help2man dpkg-dev file \
  g++-mingw-w64-i686 binutils-mingw-w64-i686

out=$PWD/build/packages
rm -rf "$out"
mkdir -p "$out"

echo "== Linux tool: .deb and .tar.gz"
linux=build/package-linux
# The packages hold what is built here; cpack does not build the rest.
skip_all=-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DKELVORA_TESTS=OFF "$skip_all" >/dev/null
cmake --build "$linux" -j"$(build_jobs)" --target kelvora kelvora_docs >/dev/null
(cd "$linux" && cpack -G "DEB;TGZ" -B "$PWD/cpack" >/dev/null)
cp "$linux"/cpack/*.deb "$linux"/cpack/*.tar.gz "$out"/

echo "== Windows programs (i686): .zip"
windows=build/mingw-i686
cmake --preset mingw-i686 "$skip_all" >/dev/null
cmake --build --preset mingw-i686 -j"$(build_jobs)" --target viewer uninstaller kelvora >/dev/null
(cd "$windows" && cpack -G ZIP -B "$PWD/cpack" >/dev/null)
cp "$windows"/cpack/*.zip "$out"/

echo "Packages in build/packages:"
(cd "$out" && ls -l --time-style=+ ./* | awk '{ printf "  %-40s %9d bytes\n", $NF, $5 }')
