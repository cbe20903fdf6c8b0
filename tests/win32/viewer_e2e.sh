#!/usr/bin/env bash
# The built viewer under Wine on a private, sealed prefix: a CD written
# around it with a password and a licence; a driver answers the dialogs,
# reads the tree, clicks the CD root, reads the list rows and the status
# bar, and closes the window.  Screenshots of the start screen and the main
# window are saved.
#
# With standard-user, the prefix's Fonts folder cannot be written, as on
# Windows 10 and 11 for a user who is no administrator: the font then lives
# in memory for the run, and start-up and the main window are as before.
# (Under Wine every folder is writable; the folder is made immutable, which
# stops root too, and made mutable again before the prefix is removed.)
#
#   tests/win32/viewer_e2e.sh VIEWER_EXE DRIVER_EXE KELVORA_TOOL SCREENSHOT_DIR [standard-user]
set -euo pipefail
viewer=$1
driver=$2
kelvora=$3
shots=$4
mode=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/wine_env.sh"
fonts_locked=
stop() {
  if [ -n "$fonts_locked" ]; then chattr -i "$fonts_locked" 2>/dev/null || true; fi
  wine_env_stop
}
trap stop EXIT
wine_env_start
mkdir -p "$shots"

c=$WINE_DRIVE_C
sample=$root/examples/sample-cd
# A JPEG background (through the picture service), a bitmap logo with a
# magenta key colour, and a custom font for the text.
art=$WINE_ENV_DIR/art
mkdir -p "$art"
convert -size 640x400 gradient:'#1a3a7a-#0a0a20' "$art/background.jpg"
convert -size 240x90 xc:'#ff00ff' -fill '#f0c040' -draw 'roundrectangle 10,10 230,80 20,20' \
  -fill '#102040' -draw 'circle 60,45 60,20' BMP3:"$art/logo.bmp"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
"$kelvora" build "$sample/files" -o "$c/cd" --stub "$viewer" \
  --password 'Harbour-Light' --licence "$sample/licence.txt" \
  --text-file "$sample/screen.txt" --text-pos bottom --shadow '#000000' \
  --back-colour '#102040' --background "$art/background.jpg" --background-mode centred \
  --logo "$art/logo.bmp" --logo-pos top --logo-key '#FF00FF' \
  --font "$font" --font-face 'DejaVu Sans' >/dev/null 2>&1
cp "$driver" "$c/viewer_driver.exe"
mkdir -p "$c/flags"
if [ "$mode" = standard-user ]; then
  if ! chattr +i "$c/windows/Fonts"; then
    echo "FAIL: the Fonts folder cannot be made unwritable here (chattr +i needs root on ext4 or the like)"
    exit 1
  fi
  fonts_locked=$c/windows/Fonts
  if touch "$c/windows/Fonts/probe" 2>/dev/null; then echo "FAIL: the Fonts folder is still writable"; exit 1; fi
fi

# Screenshots at the driver's checkpoints.
screenshot_watcher "$c/flags" "$shots"

wine 'C:\viewer_driver.exe' 'Harbour-Light' 'Kelvora' 'C:\viewer.log' 'C:\flags' \
  'C:\cd\viewer.exe' >/dev/null 2>&1 </dev/null
iconv -f WINDOWS-1252 -t UTF-8 "$c/viewer.log" | tr -d '\r' > "$WINE_ENV_DIR/viewer.log"

fail=0
# What the driver reads off the sample CD's viewer.
if ! diff -u "$here/sample_cd_viewer.txt" "$WINE_ENV_DIR/viewer.log"; then fail=1; fi
if [ "$mode" = standard-user ]; then
  if [ -e "$c/windows/Fonts/DejaVuSans-Bold.ttf" ]; then echo "FAIL: a font was written into the locked Fonts folder"; fail=1
  else echo "ok:   the Fonts folder could not be written, and start-up went on with the font in memory"; fi
elif [ -f "$c/windows/Fonts/DejaVuSans-Bold.ttf" ]; then echo "ok:   the font was written to the Fonts folder"
else echo "FAIL: the font was not written to the Fonts folder"; fail=1; fi
for shot in start-screen main-window; do
  if [ -s "$shots/$shot.png" ]; then echo "screenshot: $shots/$shot.png"; else echo "FAIL: no $shot screenshot"; fail=1; fi
done
[ $fail -eq 0 ] && echo "viewer under Wine: all checks passed"
exit $fail
