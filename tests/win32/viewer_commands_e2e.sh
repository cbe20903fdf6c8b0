#!/usr/bin/env bash
# The built viewer's commands under Wine, driven from another process:
# export the whole CD from the tree's menu and compare every file with its
# source, export selected list rows, View/Open a file and check its
# temporary copy (gone after exit), and Abort a large export.  Screenshots
# of the menus, the folder picker, the progress animation and the reports.
#
#   tests/win32/viewer_commands_e2e.sh VIEWER_EXE ACTIONS_EXE KELVORA_TOOL SCREENSHOT_DIR
set -euo pipefail
viewer=$1
actions=$2
kelvora=$3
shots=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start
mkdir -p "$shots"
c=$WINE_DRIVE_C

# The sample CD's files and a large one, for the Abort.
src=$WINE_ENV_DIR/src
cp -r "$root/examples/sample-cd/files" "$src"
mkdir -p "$src/Big"
head -c $((1536 * 1048576)) /dev/zero > "$src/Big/huge.bin"
"$kelvora" build "$src" -o "$c/cd" --stub "$viewer" --content-key e2e >/dev/null 2>&1
cp "$actions" "$c/viewer_actions.exe"
mkdir -p "$c/flags" "$c/tree" "$c/rows" "$c/abort"

screenshot_watcher "$c/flags" "$shots"

# The viewer starts in C:\tree: its first folder picker opens there.
wine 'C:\viewer_actions.exe' 'C:\actions.log' 'C:\flags' 'C:\cd\viewer.exe' 'C:\tree' \
  'export-tree:Kelvora:C:\tree' 'export-rows:Kelvora:0,1:C:\rows' \
  'open:Documents:0' 'abort-export:Big:C:\abort' 'properties:Documents' about close \
  >/dev/null 2>&1 </dev/null
iconv -f WINDOWS-1252 -t UTF-8 "$c/actions.log" | tr -d '\r' > "$WINE_ENV_DIR/actions.log"
cat "$WINE_ENV_DIR/actions.log"

fail=0
log=$WINE_ENV_DIR/actions.log
check "the tree export reports Finished" \
  grep -qx 'report|Finished:|Kelvora has been exported to C:\\tree.' "$log"
check "every exported file equals its source" diff -r "$src" "$c/tree/Kelvora"
check "the list export reports Finished" \
  grep -qx 'report|Finished:|File(s) has been exported to C:\\rows.' "$log"
check "the selected rows were exported" \
  cmp "$src/Café menu.txt" "$c/rows/Café menu.txt"
check "  and only they" test "$(ls "$c/rows" | wc -l)" -eq 2
check "View/Open made the temporary copy" \
  grep -qx 'temporary copy|Report 2026.txt|exists' "$log"
check "the copy is gone after exit" test ! -e "$c/windows/Temp/Report 2026.txt"
check "Abort closed the progress dialog" grep -qx 'progress dialog closed' "$log"
check "the stopped export says so" \
  grep -qx 'report|INFO:|The export of Big to C:\\abort was stopped.' "$log"
check "no partial file stays" test ! -e "$c/abort/Big/huge.bin"
check "Properties describes the folder" grep -qx \
  'dialog|Properties|1000=Folder|1004=Total 95 Bytes ( 0.09 KB/0.00 MB) - Files: 2 - Sub Folders: 1|1002=Documents|1003= - ( FAST )|1005=' \
  "$log"
check "the About box shows the build stamp" grep -qE \
  '^dialog\|About Kelvora  ver\. 3.*\|1004=Build: [0-9]{1,2}:[0-9]{2}:[0-9]{2} (AM|PM) [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}' \
  "$log"
check "the viewer ended with exit code 0" grep -qx 'exit 0' "$log"
for shot in tree-menu folder-picker finished-report list-menu rows-report progress stopped-report \
  properties about; do
  check "screenshot $shot" test -s "$shots/$shot.png"
done
[ $fail -eq 0 ] && echo "viewer commands under Wine: all checks passed"
exit $fail
