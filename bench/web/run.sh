#!/usr/bin/env bash
# The web page's Export beside kelvora extract, on a CD of one file of
# SIZE_MIB (default 1024) pseudo-random bytes, page cache warm: wall time,
# MiB/s, and the peak resident memory of chromium (all its processes) during
# the page's export and of the tool.  A second, smaller CD (a quarter of
# the size) shows whether the page's memory grows with the file.  Target:
# the page at least half the tool's throughput, memory independent of the
# file's size.
#
#   bash bench/web/run.sh [SIZE_MIB]
#
# The .zip export in each engine from file:// (chromium, firefox, webkit):
#   node bench/web/zip_bench.mjs ENGINE CD_DIR build/web/kelvora-viewer.html
#
# Each figure is the best of three runs; memory is the largest peak.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/common.sh
ensure_packages time chromium python3

size_mib=${1:-1024}
bash scripts/web.sh build >/dev/null
cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(build_jobs)" --target kelvora >/dev/null
kelvora=$PWD/build/cli/cli/kelvora

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-web-bench.XXXXXX")
port=8125
python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

run_size() {
  local mib=$1
  rm -rf "$work/src" "$work/cd" "$work/out"
  mkdir -p "$work/src"
  head -c $((mib * 1048576)) /dev/urandom > "$work/src/big.bin"
  "$kelvora" build "$work/src" -o "$work/cd" --content-key bench-key >/dev/null 2>&1
  rm -rf "$work/src"
  cat "$work/cd"/* >/dev/null
  # Best of three for each; the largest peak memory of the three.
  local tool_s="" tool_kib=0 page="" i
  for i in 1 2 3; do
    rm -rf "$work/out"
    /usr/bin/time -o "$work/time" -f '%e %M' "$kelvora" extract "$work/cd" -d "$work/out" -q >/dev/null
    rm -rf "$work/out"
    read -r s kib < "$work/time"
    if [ -z "$tool_s" ] || awk "BEGIN{exit !($s < $tool_s)}"; then tool_s=$s; fi
    [ "$kib" -gt "$tool_kib" ] && tool_kib=$kib
    page+="$(node bench/web/export_bench.mjs "http://127.0.0.1:$port/kelvora-viewer.html" "$work/cd")"$'\n'
  done
  python3 - "$mib" "$tool_s" "$tool_kib" "$page" <<'PY'
import json, sys
mib, tool_s, tool_kib = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
runs = [json.loads(line) for line in sys.argv[4].split("\n") if line.strip()]
for run in runs:
    assert run["bytes"] == mib * 1048576, run
page = min(runs, key=lambda run: run["seconds"])
page["peakMiB"] = max(run["peakMiB"] for run in runs)
page["baselineMiB"] = min(run["baselineMiB"] for run in runs)
page["rendererPeakMiB"] = max(run["rendererPeakMiB"] for run in runs)
page["browserPeakMiB"] = max(run["browserPeakMiB"] for run in runs)
tool_rate = mib / tool_s if tool_s else float("inf")
page_rate = mib / page["seconds"]
print(f"{mib} MiB  kelvora extract: {tool_s:.2f} s, {tool_rate:.0f} MiB/s, peak RSS {tool_kib / 1024:.1f} MiB")
print(f"{mib} MiB  page export:     {page['seconds']:.2f} s, {page_rate:.0f} MiB/s "
      f"({page_rate / tool_rate:.2f} x the tool), chromium RSS {page['baselineMiB']:.0f} MiB "
      f"before, {page['peakMiB']:.0f} MiB peak (renderer {page['rendererPeakMiB']:.0f} MiB, "
      f"browser process {page['browserPeakMiB']:.0f} MiB)")
PY
}

run_size $((size_mib / 4))
run_size "$size_mib"
