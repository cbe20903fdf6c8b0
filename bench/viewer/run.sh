#!/usr/bin/env bash
# The viewer under Wine on a CD of 100,000 entries whose biggest folder
# holds 20,000 files: time from start to the main window with its tree
# filled, and the fill of that folder's list.  Target: under 3 s each.
#
#   bash bench/viewer/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/common.sh
ensure_packages cmake make g++ libcli11-dev python3 g++-mingw-w64-x86-64 \
  binutils-mingw-w64-x86-64 wine wine64 xvfb
cmake --preset cli >/dev/null && cmake --build --preset cli -j"$(build_jobs)" >/dev/null
cmake --preset mingw-x64 >/dev/null && cmake --build --preset mingw-x64 -j"$(build_jobs)" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-viewer-bench.XXXXXX")
source tests/win32/wine_env.sh
trap 'wine_env_stop; rm -rf "$work"' EXIT

# 20,000 files in "Big", 80 folders of 1,000 files, and the folders: 100,082
# entries with the CD root.
mkdir -p "$work/src/Big"
(cd "$work/src/Big" && seq -f 'file-%05g.txt' 1 20000 | xargs touch)
for f in $(seq -w 1 80); do
  mkdir -p "$work/src/Folder $f"
  (cd "$work/src/Folder $f" && seq -f "doc-$f-%04g.dat" 1 1000 | xargs touch)
done
build/cli/cli/kelvora build "$work/src" -o "$work/cd" --stub build/mingw-x64/viewer/viewer.exe \
  --content-key bench >/dev/null 2>&1
echo "CD of $(build/cli/cli/kelvora list --json "$work/cd" | grep -o '"id"' | wc -l) entries"

wine_env_start
mkdir -p "$WINE_DRIVE_C/cd" "$WINE_DRIVE_C/flags"
cp "$work/cd"/* "$WINE_DRIVE_C/cd/"
cp build/mingw-x64/viewer/viewer_driver.exe "$WINE_DRIVE_C/"
touch "$WINE_DRIVE_C/flags/main-window.done"
for run in 1 2 3; do
  echo "run $run:"
  wine 'C:\viewer_driver.exe' - Big 'C:\bench.log' 'C:\flags' 'C:\cd\viewer.exe' 2>&1 </dev/null |
    tr -d '\r' | grep '^timing|' | sed 's/^timing|/  /; s/|/: /'
done
