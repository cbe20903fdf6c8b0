#!/usr/bin/env bash
# A burnable image of the sample CD, end to end: kelvora build --iso writes
# it around the built viewer; xorriso reads it back and every file must
# equal the CD's folder; then the image's files are a read-only CD-ROM
# drive D: of a sealed Wine prefix and the viewer runs from D:\viewer.exe,
# driven through its password and licence dialogs to the tree, the list and
# the totals.  A screenshot of the main window is saved.
#
#   tests/win32/cd_image_e2e.sh VIEWER_EXE DRIVER_EXE KELVORA_TOOL SCREENSHOT_DIR
set -euo pipefail
viewer=$1
driver=$2
kelvora=$3
shots=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/wine_env.sh"
cleanup() {
  [ -n "${WINE_ENV_DIR:-}" ] && chmod -R u+w "$WINE_ENV_DIR/image" 2>/dev/null
  wine_env_stop
}
trap cleanup EXIT
wine_env_start
mkdir -p "$shots"
fail=0

sample=$root/examples/sample-cd
password=$(head -1 "$sample/password.txt")
image=$WINE_ENV_DIR/sample.iso
"$kelvora" build "$sample/files" -o "$WINE_ENV_DIR/cd" --stub "$viewer" \
  --password-file "$sample/password.txt" --licence "$sample/licence.txt" \
  --text-file "$sample/screen.txt" --iso "$image" --label KELVORA_SAMPLE >/dev/null 2>&1

# Read back through Rock Ridge, and the volume label.
xorriso -osirrox on -indev "$image" -extract / "$WINE_ENV_DIR/image" >/dev/null 2>&1
if diff -r "$WINE_ENV_DIR/cd" "$WINE_ENV_DIR/image"; then
  echo "ok:   every file of the image equals the CD's folder ($(ls "$WINE_ENV_DIR/image" | tr '\n' ' '))"
else
  echo "FAIL: the image's files differ from the CD's folder"; fail=1
fi
if xorriso -indev "$image" -pvd_info 2>/dev/null | grep -q "^Volume Id *: KELVORA_SAMPLE$"; then
  echo "ok:   volume label KELVORA_SAMPLE"
else
  echo "FAIL: the volume label is not KELVORA_SAMPLE"; fail=1
fi

# The image's files as a CD-ROM drive.
chmod -R a-w "$WINE_ENV_DIR/image"
ln -s "$WINE_ENV_DIR/image" "$WINEPREFIX/dosdevices/d:"
wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f >/dev/null 2>&1
c=$WINE_DRIVE_C
cp "$driver" "$c/viewer_driver.exe"
mkdir -p "$c/flags"
screenshot_watcher "$c/flags" "$WINE_ENV_DIR/shots"
wine 'C:\viewer_driver.exe' "$password" 'Kelvora' 'C:\viewer.log' 'C:\flags' \
  'D:\viewer.exe' >/dev/null 2>&1 </dev/null || true
iconv -f WINDOWS-1252 -t UTF-8 "$c/viewer.log" | tr -d '\r' > "$WINE_ENV_DIR/viewer.log"
if diff -u "$here/sample_cd_viewer.txt" "$WINE_ENV_DIR/viewer.log"; then
  echo "ok:   the viewer runs from the image's files on drive D:"
else
  echo "FAIL: the viewer from the image"; fail=1
fi
if [ -s "$WINE_ENV_DIR/shots/main-window.png" ]; then
  cp "$WINE_ENV_DIR/shots/main-window.png" "$shots/viewer-from-image.png"
  echo "screenshot: $shots/viewer-from-image.png"
fi
[ $fail -eq 0 ] && echo "CD image: all checks passed"
exit $fail
