#!/usr/bin/env bash
# Checks that each Windows program is a GUI program (a console program with
# --console) of the wanted machine type that imports only the system's own
# DLLs.
#
#   scripts/check_pe.sh pe32|pe32+ [--console] EXE...
set -euo pipefail
want=$1; shift
subsystem=GUI
if [ "${1:-}" = --console ]; then subsystem=CUI; shift; fi
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|shlwapi|advapi32|ole32|oleaut32|msvcrt)\.dll$'
status=0
for exe in "$@"; do
  info=$(objdump -p "$exe")
  format=$(printf '%s\n' "$info" | sed -n 's/.*file format //p' | head -1)
  case "$want:$format" in
    pe32:pei-i386|pe32+:pei-x86-64) ;;
    *) echo "FAIL: $exe is $format, not $want"; status=1 ;;
  esac
  if ! grep -q "Subsystem.*(Windows $subsystem)" <<<"$info"; then
    echo "FAIL: $exe is not a Windows $subsystem program"; status=1
  fi
  while read -r dll; do
    if ! [[ ${dll,,} =~ $allowed ]]; then echo "FAIL: $exe imports $dll"; status=1; fi
  done < <(printf '%s\n' "$info" | sed -n 's/.*DLL Name: //p')
  [ $status -eq 0 ] && echo "ok:   $exe ($format, $subsystem, system DLLs only)"
done
exit $status
