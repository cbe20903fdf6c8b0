#!/usr/bin/env bash
# The main job on the bundled sample CD: installs what is missing, builds
# the tool, writes the sample CD with it and reads it back (info, list,
# extract, test), then checks that every extracted file equals its source.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

ensure_packages cmake make g++ libcli11-dev

cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(build_jobs)" >/dev/null
kelvora=build/cli/cli/kelvora
sample=examples/sample-cd
cd_dir=build/sample-cd
out_dir=build/sample-out
rm -rf "$cd_dir" "$out_dir"

step() { echo; echo "\$ $*"; "$@"; }
step "$kelvora" build "$sample/files" -o "$cd_dir" \
  --password-file "$sample/password.txt" --licence "$sample/licence.txt" \
  --text-file "$sample/screen.txt" --text-pos centred --shadow '#202020'
step "$kelvora" info "$cd_dir" --password-file "$sample/password.txt"
step "$kelvora" list "$cd_dir" --password-file "$sample/password.txt"
step "$kelvora" extract "$cd_dir" -d "$out_dir" --password-file "$sample/password.txt"
step "$kelvora" test "$cd_dir" --password-file "$sample/password.txt"
echo
diff -r "$sample/files" "$out_dir/Kelvora"
echo "Every extracted file equals its source: $out_dir/Kelvora"
