#!/usr/bin/env bash
# kelvora mount end to end: CDs from the writer mounted through FUSE and
# compared with kelvora extract and their sources byte for byte; random
# ranges; missing and short data files; a wrong password; unmounting with a
# file open; two mounts at once; Ctrl-C in the foreground; no FUSE at all.
#
#   bash tests/mount_e2e.sh KELVORA
#
# Every mount runs under a timeout, every read of a mount under its own, and
# every mount point is unmounted on the way out, whatever happened.  Exits
# 77 (skipped) where this system cannot mount at all.
set -euo pipefail
kelvora=$1
# Background jobs keep SIGINT (a shell without job control ignores it in
# them), so the Ctrl-C case below means what it says.
set -m

if ! { exec 9<>/dev/fuse; } 2>/dev/null; then
  echo "SKIPPED: /dev/fuse cannot be opened here (install fuse3, load the fuse module)"
  exit 77
fi
exec 9>&-

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-mount-test.XXXXXX")
mounts=()
pids=()
cleanup() {
  local m p
  for m in "${mounts[@]}"; do fusermount3 -u -z "$m" 2>/dev/null || true; done
  # Each mount ends by itself once unmounted; one that does not is killed.
  for p in "${pids[@]}"; do ends_within "$p" 5 || kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# is_mounted DIR
is_mounted() { grep -qs " $(realpath "$1") fuse.kelvora " /proc/self/mounts; }

# mount_fg NAME CD DIR ARGS...: mounts in the foreground (-f) as a
# background job under a timeout, its stderr in $work/NAME.log, and waits
# until the CD is there; its pid in pid_NAME.
mount_fg() {
  local name=$1 cd=$2 dir=$3; shift 3
  mkdir -p "$dir"
  mounts+=("$dir")
  timeout 240 "$kelvora" mount -f "$cd" "$dir" "$@" 2>"$work/$name.log" &
  local pid=$!
  pids+=("$pid")
  printf -v "pid_$name" %s "$pid"
  for _ in $(seq 100); do
    is_mounted "$dir" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "--- $name.log:"; cat "$work/$name.log"
  fail "$name: the CD was not mounted on $dir"
  return 1
}

# ends_within PID SECONDS: true when the process ends within the time.
ends_within() {
  local _
  for _ in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# same_trees A B WHAT
same_trees() {
  if timeout 120 diff -r "$1" "$2" >"$work/diff" 2>&1; then pass "$3"
  else fail "$3"; head -20 "$work/diff"; fi
}

# --- The CDs.
src=$work/src
mkdir -p "$src/Docs/Deep/er/and/deeper/still/more/levels/to/go" "$src/Empty folder"
printf 'read me' >"$src/Read me.txt"
printf 'coffee' >"$src/Caf$(printf '\xc3\xa9').txt"
: >"$src/Docs/empty.txt"
head -c $((6 * 1048576 + 7)) /dev/urandom >"$src/Docs/big.bin"
printf 'deep' >"$src/Docs/Deep/er/and/deeper/still/more/levels/to/go/deep.txt"
for i in $(seq 40); do head -c $((i * 37)) /dev/urandom >"$src/Docs/small$i.dat"; done
"$kelvora" build "$src" -o "$work/cd" --password 'Harbour-Light' --max-data-file 3000000 \
  >/dev/null 2>&1

src1251=$work/src1251
mkdir -p "$src1251/Документы"
printf 'привет' >"$src1251/Документы/файл.txt"
printf 'x' >"$src1251/Ёлка.txt"
"$kelvora" build "$src1251" -o "$work/cd1251" --codepage windows-1251 >/dev/null 2>&1

# --- Both CDs at once, each against kelvora extract and its source.
mount_fg main "$work/cd" "$work/m1" --password 'Harbour-Light'
mount_fg cyr "$work/cd1251" "$work/m2" --codepage windows-1251
"$kelvora" extract "$work/cd" -d "$work/x1" -q --password 'Harbour-Light' >/dev/null
"$kelvora" extract "$work/cd1251" -d "$work/x2" -q --codepage windows-1251 >/dev/null
same_trees "$work/m1/Kelvora" "$work/x1/Kelvora" "the mounted CD equals its extraction"
same_trees "$work/m1/Kelvora" "$src" "the mounted CD equals its source"
same_trees "$work/m2/Kelvora" "$work/x2/Kelvora" "a second mount at once, names in 1251, equals its extraction"
same_trees "$work/m2/Kelvora" "$src1251" "the 1251 CD equals its source"

# Random ranges of the big file, and what a read-only tree looks like.
if timeout 60 python3 - "$work/m1/Kelvora/Docs/big.bin" "$src/Docs/big.bin" <<'PY'
import os, random, sys
mounted, source = (os.open(p, os.O_RDONLY) for p in sys.argv[1:3])
size = os.fstat(source).st_size
assert os.fstat(mounted).st_size == size
rng = random.Random(11)
for _ in range(300):
    offset = rng.randrange(size + 10)
    length = rng.choice([1, 511, 4096, 65536, 1048576 + 3])
    if os.pread(mounted, length, offset) != os.pread(source, length, offset):
        sys.exit(f"range {offset}+{length} differs")
PY
then pass "300 random ranges of the big file equal the source"; else fail "random ranges"; fi
modes=$(stat -c '%a %s' "$work/m1/Kelvora" "$work/m1/Kelvora/Docs/big.bin" | tr '\n' ' ')
[ "$modes" = "555 0 444 $((6 * 1048576 + 7)) " ] && pass "modes and sizes" || fail "modes and sizes: $modes"
if ( : >"$work/m1/Kelvora/new.txt" ) 2>/dev/null || rm -f "$work/m1/Kelvora/Read me.txt" 2>/dev/null
then fail "the mount can be written"; else pass "the mount is read-only"; fi
[ ! -s "$work/main.log" ] && pass "a sound CD mounts without a word" || { fail "main.log:"; cat "$work/main.log"; }

# Many readers at once.
for i in 1 2 3 4; do timeout 60 cat "$work/m1/Kelvora/Docs/big.bin" >"$work/par$i" & done
wait_ok=0
for job in $(jobs -p); do
  case " ${pids[*]} " in *" $job "*) continue ;; esac
  wait "$job" || wait_ok=1
done
for i in 1 2 3 4; do cmp -s "$work/par$i" "$src/Docs/big.bin" || wait_ok=1; done
[ $wait_ok = 0 ] && pass "four readers of one file at once" || fail "parallel readers"

# --- Unmounting with a file open: refused while it is open, then done.
exec 3<"$work/m1/Kelvora/Docs/big.bin"
if "$kelvora" umount "$work/m1" 2>"$work/umount.err"; then
  fail "unmounted with a file open"
else
  grep -q "cannot unmount" "$work/umount.err" && pass "unmounting with a file open is refused" \
    || fail "umount message: $(cat "$work/umount.err")"
fi
timeout 60 cmp -s <(cat <&3) "$src/Docs/big.bin" && pass "the open file still reads whole" \
  || fail "the open file after a refused unmount"
exec 3<&-
"$kelvora" umount "$work/m1" && pass "kelvora umount" || fail "kelvora umount"
if ends_within "$pid_main" 10; then
  wait "$pid_main" && pass "the mount ended with 0" || fail "the mount's exit code $?"
else fail "the mount did not end after kelvora umount"; fi
is_mounted "$work/m1" && fail "still mounted" || true

# A lazy unmount with a file open: the file reads to its end, then the
# mount ends.
exec 3<"$work/m2/Kelvora/Ёлка.txt"
fusermount3 -u -z "$work/m2"
[ "$(timeout 10 cat <&3)" = x ] && pass "a file open across a lazy unmount reads" || fail "lazy unmount read"
exec 3<&-
ends_within "$pid_cyr" 10 && pass "the mount ends once its last file is closed" || fail "lazy unmount: still running"

# --- Ctrl-C in the foreground unmounts.
mount_fg int "$work/cd1251" "$work/m3" --codepage windows-1251
kill -INT "$pid_int"
if ends_within "$pid_int" 10; then
  wait "$pid_int" && pass "Ctrl-C ends the mount with 0" || fail "Ctrl-C: exit code $?"
else fail "Ctrl-C: still running"; fi
is_mounted "$work/m3" && fail "Ctrl-C: still mounted" || true

# --- In the background: the command returns once the CD is mounted.
mkdir -p "$work/m4"; mounts+=("$work/m4")
if timeout 60 "$kelvora" mount "$work/cd1251" "$work/m4" --codepage windows-1251 && is_mounted "$work/m4"; then
  [ "$(timeout 10 cat "$work/m4/Kelvora/Ёлка.txt")" = x ] && pass "a mount in the background" \
    || fail "background mount read"
  "$kelvora" umount "$work/m4" || fail "umount of the background mount"
else fail "mount in the background"; fi

# --- An ISO image: its files are copied out for the mount and removed
# once it ends.
if command -v xorriso >/dev/null; then
  "$kelvora" build "$src1251" -o "$work/isocd" --codepage windows-1251 --iso "$work/cd.iso" \
    >/dev/null 2>&1
  mkdir -p "$work/isotmp"
  TMPDIR=$work/isotmp mount_fg iso "$work/cd.iso" "$work/m7" --codepage windows-1251
  same_trees "$work/m7/Kelvora" "$src1251" "a mounted ISO image equals its source"
  "$kelvora" umount "$work/m7" || fail "umount of the image"
  ends_within "$pid_iso" 10 && [ -z "$(ls -A "$work/isotmp")" ] \
    && pass "the image's copy is gone once unmounted" || fail "the image's copy: $(ls "$work/isotmp")"
fi

# --- A missing and a short data file: EIO for their files, reported once.
# The data file of the small files goes, big.bin's loses its end; what
# each file should give comes from the catalogue.
cp -r "$work/cd" "$work/broken"
"$kelvora" list --json "$work/cd" --password 'Harbour-Light' >"$work/cd.json"
python3 - "$work/cd.json" "$work/broken" "$work/expected" <<'PY'
import json, os, sys
entries = [e for e in json.load(open(sys.argv[1]))["entries"] if e["kind"] == "file"]
by_path = {e["path"]: e for e in entries}
missing = by_path["Kelvora/Docs/small1.dat"]["data_file"]
big = by_path["Kelvora/Docs/big.bin"]
assert big["data_file"] != missing, "big.bin shares the small files' data file"
os.remove(os.path.join(sys.argv[2], missing))
os.truncate(os.path.join(sys.argv[2], big["data_file"]), big["data_offset"] + 1000000)
with open(sys.argv[3], "w") as out:
    for e in entries:
        bad = e["size"] > 0 and (e["data_file"] == missing or e is big)
        out.write(("eio " if bad else "ok ") + e["path"][len("Kelvora/"):] + "\n")
    out.write(f"missing {missing}\nshort {big['data_file']}\n")
PY
mount_fg broken "$work/broken" "$work/m5" --password 'Harbour-Light'
wrong=0 eio=0 whole=0
for round in 1 2; do
  while read -r want rel; do
    case $want in eio | ok) ;; *) continue ;; esac
    if timeout 30 cat "$work/m5/Kelvora/$rel" >"$work/out" 2>"$work/cat.err"; then
      if [ "$want" = ok ] && cmp -s "$work/out" "$src/$rel"; then whole=$((whole + 1))
      else wrong=$((wrong + 1)); echo "  $rel: read, but $want expected"; fi
    else
      if [ "$want" = eio ] && grep -q "Input/output error" "$work/cat.err"; then eio=$((eio + 1))
      else wrong=$((wrong + 1)); echo "  $rel: $(cat "$work/cat.err")"; fi
    fi
  done <"$work/expected"
done
[ $wrong = 0 ] && [ $eio -gt 2 ] && [ $whole -gt 2 ] \
  && pass "EIO for the files of the damaged data files ($((eio / 2))), the others whole ($((whole / 2)))" \
  || fail "damaged data files: $wrong files not as expected"
missing=$(sed -n 's/^missing //p' "$work/expected") short=$(sed -n 's/^short //p' "$work/expected")
[ "$(grep -c "The data file $missing cannot be opened" "$work/broken.log")" = 1 ] \
  && [ "$(grep -c "The data file $short is too short for \[big.bin\]" "$work/broken.log")" = 1 ] \
  && pass "each damaged data file reported once, when mounting" || { fail "reports:"; cat "$work/broken.log"; }

# --- A wrong password is refused before anything is mounted.
mkdir -p "$work/m6"; mounts+=("$work/m6")
code=0; timeout 30 "$kelvora" mount "$work/cd" "$work/m6" --password wrong 2>"$work/pw.err" || code=$?
[ $code = 4 ] && ! is_mounted "$work/m6" && pass "a wrong password: exit 4, nothing mounted" \
  || fail "wrong password: exit $code, $(cat "$work/pw.err")"

# --- No FUSE on the system: what to install, exit 2.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  code=0
  unshare -m sh -c 'mount -t tmpfs none /dev && exec "$@"' sh \
    timeout 30 "$kelvora" mount "$work/cd1251" "$work/m6" 2>"$work/nofuse.err" || code=$?
  [ $code = 2 ] && grep -q "FUSE is not available.*fuse3" "$work/nofuse.err" \
    && pass "without /dev/fuse: exit 2 and what to install" \
    || fail "without /dev/fuse: exit $code, $(cat "$work/nofuse.err")"
fi

if [ $failures -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
