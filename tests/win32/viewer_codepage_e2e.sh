#!/usr/bin/env bash
# The built viewer on a system whose ANSI code page is CODEPAGE (Wine takes
# it from the Unix locale), with a CD whose names are 8-bit text in that
# code page, beside the viewer in a folder whose name is not ASCII either:
# export of the whole CD into a target with a non-ASCII name, compared name
# for name and byte for byte with the sources; View/Open of a file whose
# name is not ASCII; and after exit nothing left in the Temp folder.  On the
# Western system the CD's folder also holds letters that code page lacks.
#
#   tests/win32/viewer_codepage_e2e.sh VIEWER_EXE ACTIONS_EXE KELVORA_TOOL SCREENSHOT_DIR CODEPAGE
#
# CODEPAGE is 1252 (names with the bytes 0x80-0x9F), 1251 (Cyrillic), 932
# (Japanese, with characters whose second byte is the byte of "\") or 65001
# (UTF-8, with a Western CD).
set -euo pipefail
viewer=$1
actions=$2
kelvora=$3
shots=$4
codepage=$5
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_env.sh"

case $codepage in
  1252)
    export LC_ALL=C.UTF-8 charset=WINDOWS-1252
    cd_dir='Disc € Диск' target='Export “final” – 2026' folder='Notes – “draft”'
    names=("Bob’s notes.txt" "Café € menu….txt" "Œuvre Š‰.txt")
    ;;
  1251)
    export LC_ALL=ru_RU.UTF-8 charset=WINDOWS-1251
    cd_dir='Диск' target='Экспорт' folder='Документы'
    names=("Отчёт.txt" "Привет, мир.txt" "Ёж №5.txt")
    ;;
  932)
    # 表 (95 5C), ソ (83 5C) and 能 (94 5C) end in the byte of a backslash.
    export LC_ALL=ja_JP.UTF-8 charset=CP932
    cd_dir='ディスク' target='出力先' folder='表計算'
    names=("表.txt" "ソース.txt" "能力 表.txt")
    ;;
  65001)
    # UTF-8 as the ANSI code page ("Use Unicode UTF-8 for worldwide language
    # support").  Wine does not honour the registry's ACP value; it runs in
    # 65001 under a locale that has no ANSI code page of its own (Hindi).
    # The CD is a Western one: its names are 1252 bytes, no UTF-8, and two
    # of them differ in one letter only.  The list's first row, which
    # View/Open opens, is ASCII: the driver reads rows back through the
    # list's own code-page conversion.
    export LC_ALL=hi_IN.UTF-8 charset=WINDOWS-1252 log_charset=UTF-8
    cd_dir='Disc € Диск' target='Export “final” – 2026' folder='Notes'
    names=("A plain name.txt" "Café.txt" "Cafè.txt" "Menu Š‰ €.txt")
    ;;
  *) echo "unknown code page $codepage" >&2; exit 2 ;;
esac
trap wine_env_stop EXIT
wine_env_start
mkdir -p "$shots"
c=$WINE_DRIVE_C

acp=$(wine cmd /c 'reg query HKLM\System\CurrentControlSet\Control\Nls\CodePage /v ACP' 2>/dev/null |
      tr -d '\r' | sed -n 's/.*REG_SZ *//p')
echo "Wine's ANSI code page: $acp"

src=$WINE_ENV_DIR/src
mkdir -p "$src/$folder/Sub ${names[0]%.txt}"
i=0
for name in "${names[@]}"; do
  i=$((i + 1))
  printf 'contents of %s, %d\n' "$name" "$i" > "$src/$folder/$name"
  head -c $((i * 70000)) /dev/urandom > "$src/$folder/Sub ${names[0]%.txt}/$name"
done
printf 'top\n' > "$src/${names[1]}"
"$kelvora" build "$src" -o "$c/$cd_dir" --stub "$viewer" --codepage "$charset" \
  --content-key e2e >/dev/null
cp "$actions" "$c/viewer_actions.exe"
mkdir -p "$c/flags" "$c/$target" "$c/windows/Temp"
ls -A "$c/windows/Temp" > "$WINE_ENV_DIR/temp-before.txt"
ls -A "$c" > "$WINE_ENV_DIR/c-before.txt"

screenshot_watcher "$c/flags" "$shots"

# The first row of the folder, in the list's order, is what View/Open opens.
wine 'C:\viewer_actions.exe' 'C:\actions.log' 'C:\flags' "C:\\$cd_dir\\viewer.exe" "C:\\$target" \
  "export-tree:Kelvora:C:\\$target" "open:$folder:0" "properties:$folder" close \
  >/dev/null 2>&1 </dev/null
# Under UTF-8 a box that quotes a CD's 1252 name holds bytes that are no
# UTF-8: those are dropped from the log.
iconv ${log_charset:+-c} -f "${log_charset:-$charset}" -t UTF-8 "$c/actions.log" | tr -d '\r' > "$WINE_ENV_DIR/actions.log"
cat "$WINE_ENV_DIR/actions.log"

fail=0
log=$WINE_ENV_DIR/actions.log
check "Wine runs in code page $codepage" test "$acp" = "$codepage"
check "the export reports Finished" \
  grep -qxF "report|Finished:|Kelvora has been exported to C:\\$target." "$log"
check "every file exported under its own name, equal to its source" \
  diff -r "$src" "$c/$target/Kelvora"
check "nothing was made beside the target" \
  diff "$WINE_ENV_DIR/c-before.txt" <(ls -A "$c" | grep -vx actions.log)
check "View/Open made the temporary copy" grep -q '^temporary copy|.*|exists$' "$log"
check "the Temp folder is as it was after exit" \
  diff "$WINE_ENV_DIR/temp-before.txt" <(ls -A "$c/windows/Temp")
check "the viewer ended with exit code 0" grep -qx 'exit 0' "$log"
check "screenshot of the finished export" test -s "$shots/finished-report.png"
[ "$codepage" = 932 ] && check "the prefix has a font with the names' glyphs for the screenshots" \
  test -f "$c/windows/Fonts/ipag.ttf"
[ $fail -eq 0 ] && echo "viewer in code page $codepage under Wine: all checks passed"
exit $fail
