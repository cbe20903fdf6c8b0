#!/usr/bin/env bash
# The main job on the bundled sample CD: installs what is missing, builds
# the tool, writes the sample CD with it and reads it back (info, list,
# extract, test), checks that every extracted file equals its source, then
# starts the Windows viewer on the same CD under Wine: on the user's display
# when there is one, else on a private virtual display, where a driver
# answers the password and licence dialogs and a screenshot is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

ensure_packages cmake make g++ libcli11-dev libgtest-dev python3 \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine64 xvfb imagemagick
ensure_wine32

cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(build_jobs)" >/dev/null
kelvora=build/cli/cli/kelvora
sample=examples/sample-cd
cd_dir=build/sample-cd
out_dir=build/sample-out
rm -rf "$cd_dir" "$out_dir"

step() { echo; echo "\$ $*"; "$@"; }
bash scripts/web.sh build  # the web page, put on the sample CD as kelvora-viewer.html
step "$kelvora" build "$sample/files" -o "$cd_dir" \
  --password-file "$sample/password.txt" --licence "$sample/licence.txt" \
  --text-file "$sample/screen.txt" --text-pos centred --shadow '#202020' --web build/web/kelvora-viewer.html
step "$kelvora" info "$cd_dir" --password-file "$sample/password.txt"
step "$kelvora" list "$cd_dir" --password-file "$sample/password.txt"
step "$kelvora" extract "$cd_dir" -d "$out_dir" --password-file "$sample/password.txt"
step "$kelvora" test "$cd_dir" --password-file "$sample/password.txt"
echo
diff -r "$sample/files" "$out_dir/Kelvora"
echo "Every extracted file equals its source: $out_dir/Kelvora"

echo
echo "== The Windows viewer (the 32-bit program) on the sample CD"
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j"$(build_jobs)" --target viewer viewer_driver >/dev/null
viewer_cd=build/sample-cd-windows
rm -rf "$viewer_cd"
"$kelvora" build "$sample/files" -o "$viewer_cd" --stub build/mingw-i686/viewer/viewer.exe \
  --password-file "$sample/password.txt" --licence "$sample/licence.txt" \
  --text-file "$sample/screen.txt" --text-pos centred --shadow '#404040' \
  --back-colour '#102040'
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  # On the user's display, in a private Wine prefix; the password is
  # $(cat "$sample/password.txt").
  (
    source tests/win32/wine_env.sh
    WINE_ENV_DISPLAY=$DISPLAY
    wine_env_start
    export DISPLAY=$WINE_ENV_DISPLAY
    mkdir -p "$WINE_DRIVE_C/cd" && cp "$viewer_cd"/* "$WINE_DRIVE_C/cd/"
    echo "The viewer is open on your display; the password is $(cat "$sample/password.txt")."
    wine 'C:\cd\viewer.exe' || true
    wine_env_stop
  )
else
  shots=build/sample-screenshots
  bash tests/win32/viewer_e2e.sh build/mingw-i686/viewer/viewer.exe \
    build/mingw-i686/viewer/viewer_driver.exe "$kelvora" "$shots" >/dev/null
  echo "No display here: the viewer ran on a private virtual display."
  echo "Screenshots: $shots/start-screen.png and $shots/main-window.png"
fi
