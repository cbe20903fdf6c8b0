#!/usr/bin/env bash
# Runs kelvora.exe under Wine in place of the native tool, for the tool's
# end-to-end tests (tests/win32/cli_under_wine.sh prepares the prefix and
# sets the variables).  Paths below KELVORA_WINE_ROOT are given as drive
# T:, which maps that directory; `kelvora build` runs the native tool, as
# CDs are built on Linux and macOS only.
#
#   KELVORA_WINE_EXE=C:\kelvora.exe KELVORA_WINE_ROOT=DIR KELVORA_NATIVE=TOOL \
#     kelvora_wine.sh ARGS...
set -uo pipefail
if [ "${1:-}" = build ]; then exec "$KELVORA_NATIVE" "$@"; fi
args=()
for arg in "$@"; do
  case $arg in
    "$KELVORA_WINE_ROOT"/*)
      rest=${arg#"$KELVORA_WINE_ROOT"/}
      arg="T:\\${rest//\//\\}" ;;
  esac
  args+=("$arg")
done
exec wine "$KELVORA_WINE_EXE" "${args[@]}"
