#!/usr/bin/env bash
# Runs one Windows test program under Wine on a private display and a
# private, sealed prefix, and exits with its exit code.
#
#   tests/win32/run_in_wine.sh PROGRAM [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start
# A link below an export target, standing in for a junction: the file
# layer's tests must find the reparse point and never write through it.
mkdir -p "$WINE_DRIVE_C/link-target" "$WINE_DRIVE_C/planted"
ln -s "$WINE_DRIVE_C/link-target" "$WINE_DRIVE_C/planted/Kelvora"
program=$1; shift
cp "$program" "$WINE_DRIVE_C/test.exe"
set +e
wine 'C:\test.exe' "$@" </dev/null 2>&1 | tr -d '\r' | grep -v '^wine: could not open working directory'
code=${PIPESTATUS[0]}
exit "$code"
