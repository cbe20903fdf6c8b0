#!/usr/bin/env bash
# The tool's end-to-end and hostile-CD tests on kelvora.exe under Wine, in a
# private, sealed prefix.  The test program is the native one built with
# KELVORA_TOOL_UNDER_WINE; it runs kelvora_wine.sh in place of the tool.
# Drive T: maps the directory that holds the tests' temporary folders.
#
#   tests/win32/cli_under_wine.sh KELVORA_EXE CLI_WINE_TESTS NATIVE_KELVORA
set -euo pipefail
exe=$(realpath "$1")
tests=$(realpath "$2")
native=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_env.sh"
trap wine_env_stop EXIT
# Arguments reach Wine as UTF-8, and it passes them on as UTF-16.
export LC_ALL=C.UTF-8
wine_env_start

root=$WINE_ENV_DIR/t
mkdir -p "$root"
ln -s "$root" "$WINEPREFIX/dosdevices/t:"
cp "$exe" "$WINE_DRIVE_C/kelvora.exe"
export TMPDIR=$root KELVORA_WINE_ROOT=$root KELVORA_NATIVE=$native
export KELVORA_WINE_EXE='C:\kelvora.exe'
"$tests"

# What kelvora.exe leaves to other systems, said plainly.
mkdir -p "$root/few"
echo few > "$root/few/a.txt"
"$native" build "$root/few" -o "$root/few-cd" --iso "$root/few.iso" >/dev/null 2>&1
fail=0
expect() {  # expect CODE MESSAGE ARGS...
  local code=$1 message=$2; shift 2
  local err status=0
  err=$(wine 'C:\kelvora.exe' "$@" 2>&1 >/dev/null </dev/null) || status=$?
  if [ "$status" = "$code" ] && [[ $err == *"$message"* ]]; then
    echo "ok:   kelvora.exe $1: $err"
  else
    echo "FAIL: kelvora.exe $*: exit $status, $err"; fail=1
  fi
}
expect 2 "CDs are built on Linux and macOS" build 'T:\few' -o 'T:\few-out'
expect 0 "" list 'T:\few.iso'
[ -e "$root/few-out" ] && { echo "FAIL: build on Windows wrote something"; fail=1; }
[ $fail -eq 0 ]

# Again under a Japanese locale, where Wine's ANSI code page is 932: the
# names (Café.txt) and a password with an umlaut still go through,
# as the tool takes its arguments and makes its names in UTF-16.
echo "== The tool's tests again under LC_ALL=ja_JP.UTF-8 (ANSI code page 932)"
LC_ALL=ja_JP.UTF-8 "$tests" --gtest_filter='Tool.*'
