#!/usr/bin/env bash
# Extraction throughput beside cp and 7z on one 1 GiB file, page cache warm.
#
#   bash bench/extract/run.sh [SIZE_MIB]
#
# Builds the tool, makes a file of pseudo-random bytes, builds a CD of it and
# a store-mode 7z archive of it, then times, in one run and each five times
# (best of five): kelvora extract, cp of the CD's data file, 7z x.  Prints
# seconds, MiB/s and peak resident memory of each.  Targets: kelvora within
# 1.3 x cp and faster than 7z; peak RSS under 16 MiB plus the catalogue.
# dd with 1 MiB blocks is timed beside them as the plain user-space copy.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/common.sh
ensure_packages cmake make g++ libcli11-dev 7zip time

size_mib=${1:-1024}
cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(build_jobs)" >/dev/null
kelvora=$PWD/build/cli/cli/kelvora
sevenzip=$(command -v 7zz || command -v 7z)

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/src/big.bin"
"$kelvora" build "$work/src" -o "$work/cd" --content-key bench-key >/dev/null 2>&1
(cd "$work/src" && "$sevenzip" a -mx0 "$work/big.7z" big.bin >/dev/null)
# Warm the page cache with every input.
cat "$work/src/big.bin" "$work/cd/KELVORA1.DAT" "$work/big.7z" >/dev/null

# best_of NAME COMMAND...: runs the command five times into a fresh output
# directory; prints the best wall time and the peak RSS.
best_of() {
  local name=$1; shift
  local best="" rss=0
  for _ in 1 2 3 4 5; do
    rm -rf "$work/out"; mkdir -p "$work/out"
    /usr/bin/time -o "$work/time" -f '%e %M' "$@" >/dev/null 2>&1
    local stats seconds kib
    stats=$(tail -1 "$work/time")
    seconds=${stats% *}
    kib=${stats#* }
    if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
    [ "$kib" -gt "$rss" ] && rss=$kib
  done
  awk -v n="$name" -v s="$best" -v m="$size_mib" -v r="$rss" \
    'BEGIN{printf "%-18s %7.2f s %8.0f MiB/s  peak RSS %6.1f MiB\n", n, s, (s>0?m/s:0), r/1024}'
  local key=${name//[^a-zA-Z0-9]/_}
  eval "result_${key}=$best"
}

echo "One file of $size_mib MiB, page cache warm, best of five:"
best_of "kelvora extract" "$kelvora" extract "$work/cd" -d "$work/out" -q
best_of "cp" cp "$work/cd/KELVORA1.DAT" "$work/out/big.bin"
# cp copies inside the kernel (copy_file_range); dd with 1 MiB blocks does
# what any deciphering copy must do: read into memory and write back.
best_of "dd bs=1M" dd if="$work/cd/KELVORA1.DAT" of="$work/out/big.bin" bs=1M
best_of "7z x" "$sevenzip" x -y -o"$work/out" "$work/big.7z"
awk -v k="$result_kelvora_extract" -v c="$result_cp" -v d="$result_dd_bs_1M" -v z="$result_7z_x" 'BEGIN{
  printf "kelvora / cp = %.2f (target <= 1.30); kelvora / dd = %.2f; kelvora / 7z = %.2f (target < 1.00)\n", k/c, k/d, k/z }'
