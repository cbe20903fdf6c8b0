#!/usr/bin/env bash
# Reading through kelvora mount beside kelvora extract and kelvora test of
# the same CD, page cache warm, best of three, in one run.
#
#   bash bench/mount/run.sh [SIZE_MIB] [RANDOM_SECONDS]
#
# One file of SIZE_MIB (default 1024) pseudo-random bytes on a CD with a
# content key.  Each read through the mount is made on a fresh mount, so
# that it goes through the file system rather than the kernel's copy of an
# earlier read (which is timed too, as "again").  The commands take turns,
# five rounds, and each keeps its best: the machine's other work drifts.
# Then reads of 4 KiB at random places for RANDOM_SECONDS (default 5), by
# one reader and by four.  Target: cat through the mount >= 0.8 x kelvora
# extract's MiB/s.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/common.sh
ensure_packages cmake make g++ libcli11-dev pkg-config libfuse3-dev fuse3 fio

size_mib=${1:-1024}
random_seconds=${2:-5}
cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(build_jobs)" --target kelvora >/dev/null
kelvora=$PWD/build/cli/cli/kelvora

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-mount-bench.XXXXXX")
mnt=$work/mnt
pid=
unmount() {
  fusermount3 -u "$mnt" 2>/dev/null || true
  if [ -n "$pid" ]; then
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
    pid=
  fi
}
trap 'unmount; rm -rf "$work"' EXIT
mkdir -p "$work/src" "$mnt"
head -c $((size_mib * 1048576)) /dev/urandom >"$work/src/big.bin"
"$kelvora" build "$work/src" -o "$work/cd" --content-key bench-key >/dev/null 2>&1
rm "$work/src/big.bin"
cat "$work/cd/KELVORA1.DAT" >/dev/null  # warm

fresh_mount() {
  unmount
  timeout 3600 "$kelvora" mount -f "$work/cd" "$mnt" >/dev/null 2>"$work/mount.log" &
  pid=$!
  for _ in $(seq 100); do
    grep -qs " $mnt fuse.kelvora " /proc/self/mounts && return 0
    sleep 0.1
  done
  cat "$work/mount.log"
  echo "the CD was not mounted" >&2
  exit 1
}

seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", (b-a)/1e9}'
}

# The cases, each timed in a subshell; the mounts are made outside it.
big=$mnt/Kelvora/big.bin
names=("kelvora extract" "kelvora test" "mount: cat" "mount: dd bs=1M" "mount: cat again")
run_case() {
  case $1 in
    "kelvora extract") seconds "$kelvora" extract "$work/cd" -d "$work/out" -q ;;
    "kelvora test") seconds "$kelvora" test "$work/cd" ;;
    "mount: cat") seconds cat "$big" ;;
    "mount: dd bs=1M") seconds dd if="$big" of=/dev/null bs=1M ;;
    "mount: cat again") seconds cat "$big" ;;  # right after the dd: the kernel's copy
  esac
}
declare -A best
for _ in 1 2 3 4 5; do
  for name in "${names[@]}"; do
    rm -rf "$work/out"; mkdir -p "$work/out"; sync
    case $name in "mount: cat" | "mount: dd bs=1M") fresh_mount ;; esac
    s=$(run_case "$name")
    if [ -z "${best[$name]:-}" ] || awk "BEGIN{exit !($s < ${best[$name]})}"; then best[$name]=$s; fi
  done
done
echo "One file of $size_mib MiB, page cache warm, best of five rounds:"
for name in "${names[@]}"; do
  awk -v n="$name" -v s="${best[$name]}" -v m="$size_mib" \
    'BEGIN{printf "%-18s %7.3f s %8.0f MiB/s\n", n, s, (s>0?m/s:0)}'
done
awk -v e="${best["kelvora extract"]}" -v t="${best["kelvora test"]}" -v c="${best["mount: cat"]}" \
  -v d="${best["mount: dd bs=1M"]}" 'BEGIN{
  printf "mount cat / extract throughput = %.2f (target >= 0.80); dd / extract = %.2f; cat / test = %.2f\n",
    e/c, e/d, t/c }'

echo
echo "Reads of 4 KiB at random places of the file (fio, ${random_seconds} s each), on a fresh mount:"
for jobs in 1 4; do
  fresh_mount
  iops=$(fio --name=random --filename="$big" --readonly --rw=randread --bs=4k --ioengine=psync \
    --numjobs="$jobs" --group_reporting --time_based --runtime="$random_seconds" --invalidate=0 \
    --output-format=terse --terse-version=3 2>/dev/null | awk -F';' '{print $8}')
  printf '%d reader(s): %8d reads/s\n' "$jobs" "$iops"
done
unmount
