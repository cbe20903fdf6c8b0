#!/usr/bin/env bash
# Checks the packages that scripts/package.sh wrote into build/packages/:
# the .deb installed into a throw-away root runs (--version, a list of the
# sample CD) and holds its manual page, which names every option of the
# tool's help, and its bash completion, which completes the sub-commands
# and options; the .tar.gz holds the same files; the .zip holds the Windows
# programs, each a PE32 GUI or console program with the project's version.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
ensure_packages dpkg unzip binutils
packages=build/packages
version=$(sed -n 's/^project(kelvora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail=0
ok() { echo "ok:   $*"; }
bad() { echo "FAIL: $*"; fail=1; }

deb=$(ls "$packages"/kelvora_"$version"_*.deb)
tgz=$(ls "$packages"/kelvora-"$version"-linux-*.tar.gz)
zip=$packages/kelvora-$version-win32.zip
for p in "$deb" "$tgz" "$zip"; do
  [ -s "$p" ] && ok "$(basename "$p"): $(stat -c %s "$p") bytes" || bad "$p is missing"
done

echo "== The .deb, installed into a throw-away root"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6; do
  [[ $depends == *"$lib "* ]] && ok "depends on $lib" || bad "Depends lacks $lib: $depends"
done
root=$work/root
dpkg-deb -x "$deb" "$root"
tool=$root/usr/bin/kelvora
[ "$("$tool" --version)" = "kelvora $version" ] && ok "kelvora --version says $version" ||
  bad "kelvora --version says $("$tool" --version)"
sample=examples/sample-cd
"$tool" build "$sample/files" -o "$work/cd" --password-file "$sample/password.txt" \
  >/dev/null 2>&1
listing=$("$tool" list "$work/cd" --password-file "$sample/password.txt")
if [ "$(tail -1 <<<"$listing")" = "289 Bytes - 0.28 KB - 0.00 MB - 3 Folders - 5 Files" ] &&
  grep -qx '  Café menu.txt  54 bytes ( 0.05 kb/0.00 MB )' <<<"$listing"; then
  ok "the installed tool lists the sample CD"
else
  bad "the installed tool's list of the sample CD:"; echo "$listing"
fi

man=$root/usr/share/man/man1/kelvora.1
if head -5 "$man" | grep -q '^\.TH KELVORA "1"'; then ok "manual page kelvora.1"; else bad "no manual page"; fi
missing=()
for option in $("$tool" --help-all | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$man" || missing+=("$option")
done
[ ${#missing[@]} -eq 0 ] && ok "the manual page names every option of the help" ||
  bad "the manual page lacks: ${missing[*]}"
for section in EXAMPLES SECURITY; do
  grep -q "^\.SH $section" "$man" && ok "the manual page has $section" || bad "no $section section"
done

completion=$root/usr/share/bash-completion/completions/kelvora
# Each case: the words typed (the last one being completed), then the
# completions wanted.
complete_cases=(
  "kelvora ex|extract"
  "kelvora t|test"
  "kelvora --v|--version"
  "kelvora list --pa|--password --password-file"
  "kelvora build src --i|--iso"
  "kelvora build src --la|--label"
  "kelvora build src --background-mode t|tiled top-left top"
  "kelvora build src --text-pos c|centred"
  "kelvora extract cd --password x -|--password --password-file --codepage -d --directory -q --quiet"
  "kelvora build src --password |"
)
for c in "${complete_cases[@]}"; do
  typed=${c%%|*} wanted=${c#*|}
  got=$(bash -c '
    source "$1"
    read -r -a COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _kelvora
    echo "${COMPREPLY[*]}"' _ "$completion" "$typed")
  [ "$got" = "$wanted" ] && ok "completion of '$typed': $got" ||
    bad "completion of '$typed': '$got', not '$wanted'"
done

echo "== The .tar.gz"
expected_tgz="bin/kelvora
share/bash-completion/completions/kelvora
share/doc/kelvora/README.md
share/doc/kelvora/copyright
share/man/man1/kelvora.1"
got_tgz=$(tar tzf "$tgz" | grep -v '/$' | sed 's|^[^/]*/||' | sort)
[ "$got_tgz" = "$expected_tgz" ] && ok "the .tar.gz holds the tool, its page and completion" ||
  bad "the .tar.gz holds: $got_tgz"

echo "== The .zip"
expected_zip="LICENSE
README.md
kelvora.exe
uninstaller.exe
viewer.exe"
got_zip=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort)
[ "$got_zip" = "$expected_zip" ] && ok "the .zip holds the three programs, the README and the licence" ||
  bad "the .zip holds: $got_zip"
unzip -q "$zip" -d "$work/zip"
win=$(echo "$work"/zip/*)
bash scripts/check_pe.sh pe32 "$win/viewer.exe" "$win/uninstaller.exe" || fail=1
bash scripts/check_pe.sh pe32 --console "$win/kelvora.exe" || fail=1
for exe in viewer uninstaller kelvora; do
  strings=$(strings -el "$win/$exe.exe")
  if grep -A1 -x FileVersion <<<"$strings" | grep -qx "$version" &&
    grep -A1 -x ProductName <<<"$strings" | grep -qx "Kelvora viewer"; then
    ok "$exe.exe carries version $version"
  else
    bad "$exe.exe has no version resource of $version"
  fi
done

[ $fail -eq 0 ] && echo "Packages: all checks passed"
exit $fail
