#!/usr/bin/env bash
# The built uninstaller (i686 or x86_64) under Wine on a private, sealed
# prefix.  Its uninstall key is in the 32-bit registry view, where the
# product's 32-bit installer puts it.  Answered No it changes nothing;
# answered Yes it removes the product and only that; a link inside the
# installation directory is not entered; a Japanese installation directory
# goes whole under code page 932; and every hostile "RootInstallDir" of the
# table is refused with everything left in place.
#
#   tests/win32/uninstaller_e2e.sh UNINSTALLER_EXE BOX_DRIVER_EXE
#
# Needs the ja_JP.UTF-8 locale (Wine takes its code page from it).
#
# Never give the uninstaller a \\?\unix\... path: it reaches the host's root
# even from a sealed prefix.
set -euo pipefail
uninstaller=$1
driver=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start

c=$WINE_DRIVE_C
fail=0
unix_path() {  # C:\a\b -> $c/a/b
  local p=${1#[Cc]:}
  p=${p//\\//}
  printf '%s%s' "$c" "$p"
}
shell_folder() {
  wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' \
    /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvora3'
set_install_dir() {  # in the 32-bit view, as the product's installer does
  wine reg add "$key" /v RootInstallDir /d "$1" /f /reg:32 >/dev/null 2>&1
}
key_exists() {  # key_exists 32|64
  wine reg query "$key" /v RootInstallDir "/reg:$1" >/dev/null 2>&1
}
key_absent() { ! key_exists "$1"; }
run_uninstaller() {  # run_uninstaller yes|no NAME: the boxes go to $WINE_ENV_DIR/NAME.txt
  wine 'C:\box_driver.exe' "$1" "C:\\log-$2.txt" 'C:\uninstaller.exe' >/dev/null 2>&1 </dev/null
  tr -d '\r' < "$c/log-$2.txt" > "$WINE_ENV_DIR/$2.txt"
}

desktop=$(unix_path "$(shell_folder Desktop)")
start_menu=$(unix_path "$(shell_folder 'Start Menu')")
install="$c/Program Files/Marrowby Software/Kelvora3"

lay_out() {
  mkdir -p "$install/data/deep" "$desktop" "$start_menu/Marrowby Software/Help"
  echo exe > "$install/Kelvora3.exe"
  echo dat > "$install/data/deep/x.dat"
  echo cfg > "$install/.settings"
  echo lnk > "$desktop/Kelvora3.lnk"
  echo other > "$desktop/other.lnk"
  echo lnk > "$start_menu/Kelvora3.lnk"
  echo grp > "$start_menu/Marrowby Software/Kelvora3.lnk"
  echo hlp > "$start_menu/Marrowby Software/Help/help.lnk"
  echo keep > "$start_menu/beside the group.lnk"
  echo keep > "$c/users/sentinel.txt"
  set_install_dir 'C:\Program Files\Marrowby Software\Kelvora3'
}

# The prefix is sealed: nothing reaches the host's file system.
check "no drive maps the host's root" test ! -e "$WINEPREFIX/dosdevices/z:"
check "no user folder links into the host" \
  test -z "$(find "$c/users" -maxdepth 2 -type l)"

cp "$uninstaller" "$c/uninstaller.exe"
cp "$driver" "$c/box_driver.exe"
lay_out
# Another product's key of the same name in the 64-bit view, which the
# uninstaller must not read, whatever its own bitness.
mkdir -p "$c/decoy" && echo keep > "$c/decoy/keep.txt"
wine reg add "$key" /v RootInstallDir /d 'C:\decoy' /f /reg:64 >/dev/null 2>&1

echo "== answered No"
run_uninstaller no no
check "only the question was shown" diff -u - "$WINE_ENV_DIR/no.txt" <<'TXT'
Are you Sure?|Are you sure you want to remove Kelvora3 from your computer?
exit 0
TXT
check "the installation stays" test -f "$install/Kelvora3.exe"
check "the key stays" key_exists 32

echo "== answered Yes"
run_uninstaller yes yes
check "the three boxes in order" diff -u - "$WINE_ENV_DIR/yes.txt" <<'TXT'
Are you Sure?|Are you sure you want to remove Kelvora3 from your computer?
INFO:|Please make sure Kelvora3 is not curently running
INFO:|Kelvora3 has been removed from your computer
exit 0
TXT
check "the installation directory is gone" test ! -e "$install"
check "the maker's folder is gone" test ! -e "$c/Program Files/Marrowby Software"
check "Program Files stays" test -d "$c/Program Files"
check "the key is gone from the 32-bit view" key_absent 32
check "the 64-bit view's key stays" key_exists 64
check "the 64-bit view's folder stays" test -f "$c/decoy/keep.txt"
check "the Desktop shortcut is gone" test ! -e "$desktop/Kelvora3.lnk"
check "other Desktop files stay" test -f "$desktop/other.lnk"
check "the Start Menu shortcut is gone" test ! -e "$start_menu/Kelvora3.lnk"
check "the program group is gone" test ! -e "$start_menu/Marrowby Software"
check "files beside the group stay" test -f "$start_menu/beside the group.lnk"
check "nothing else was touched" test -f "$c/users/sentinel.txt"

echo "== a link inside the installation directory"
# A Unix link to a folder stands in for a junction (Wine makes none).  Its
# target is not empty: Wine's RemoveDirectoryA on a link to an empty folder
# removes the folder.  Wine cannot remove the link itself (Windows does), so
# it and the directories above it stay.
lay_out
mkdir -p "$c/elsewhere/inner" && echo precious > "$c/elsewhere/inner/precious.txt"
ln -s ../../../elsewhere "$install/linked"
run_uninstaller yes link
check "the product's files are gone" test ! -e "$install/Kelvora3.exe" -a ! -e "$install/data"
check "the link was not entered" test -f "$c/elsewhere/inner/precious.txt"
check "no refusal" test "$(grep -c WARNING "$WINE_ENV_DIR/link.txt")" = 0
rm -f "$install/linked"

echo "== a Japanese installation directory under code page 932"
# ポ表 is 83 7C 95 5C in code page 932: its second bytes are '|' and '\'.
# The value ends in a separator, which must not take the 0x5C with it.
jp="$c/Program Files/Marrowby Software/ポ表"
if locale -a | grep -qix ja_JP.utf8; then
  mkdir -p "$jp/表/表" "$jp/sub表"
  echo x > "$jp/表.txt"; echo x > "$jp/表/表/inner.txt"; echo x > "$jp/sub表/x.txt"
  LC_ALL=ja_JP.UTF-8 set_install_dir 'C:\Program Files\Marrowby Software\ポ表\'
  LC_ALL=ja_JP.UTF-8 run_uninstaller yes japanese
  check "no refusal" test "$(grep -c WARNING "$WINE_ENV_DIR/japanese.txt")" = 0
  check "the directory and all in it are gone" test ! -e "$jp"
else
  echo "FAIL: no ja_JP.UTF-8 locale (scripts/lib/common.sh: ensure_locales ja_JP.UTF-8)"; fail=1
fi

echo "== hostile installation directories"
# Each value is refused and nothing anywhere goes; a value that slipped
# through would empty a system folder, which the file list below catches.
short_program_files=$(wine cmd /c dir /x 'C:\' 2>/dev/null | tr -d '\r' |
  sed -n 's/.*<DIR> *\([^ ]*~[^ ]*\) *Program Files$/\1/p')
check "Wine has an 8.3 alias of Program Files" test -n "$short_program_files"
ln -s users "$c/Documents and Settings"  # a junction on real systems
mkdir -p "$c/users/sentinel-product" && echo keep > "$c/users/sentinel-product/keep.txt"
for folder in windows windows/system32 windows/syswow64 "Program Files" "Program Files (x86)"; do
  echo keep > "$c/$folder/kelvora-sentinel.txt"
done
find "$c" -type f ! -name 'log-*' | sort > "$WINE_ENV_DIR/before.txt"
while IFS='|' read -r value reason; do  # value|reason; "C:\Windows\ " ends in a blank
  value=${value/\{8.3 alias of Program Files\}/$short_program_files}
  set_install_dir "$value"
  run_uninstaller yes hostile
  if grep -qxF "WARNING (5101):|The folder $value was not deleted: $reason." \
    "$WINE_ENV_DIR/hostile.txt"; then
    echo "ok:   refused: $value"
  else
    echo "FAIL: refused: $value"; sed 's/^/      /' "$WINE_ENV_DIR/hostile.txt"; fail=1
  fi
  find "$c" -type f ! -name 'log-*' | sort > "$WINE_ENV_DIR/after.txt"
  check "nothing deleted: $value" \
    test -z "$(comm -23 "$WINE_ENV_DIR/before.txt" "$WINE_ENV_DIR/after.txt")"
done <<'TABLE'
C:\Windows.|it is one of the system's own folders
C:\Windows\ |it is one of the system's own folders
\\?\C:\Windows|it is one of the system's own folders
\??\C:\Windows|it is one of the system's own folders
\\.\C:\Windows|it is one of the system's own folders
C:/Windows|it is one of the system's own folders
C:\Program Files\Marrowby Software\..\..\Windows|it is one of the system's own folders
C:\Program Files|it is one of the system's own folders
C:\Program Files (x86)|it is one of the system's own folders
C:\{8.3 alias of Program Files}|it is one of the system's own folders
C:\windows\syswow64|it is one of the system's own folders
C:\windows\Sysnative|it lies inside one of the system's own folders
C:\users|it is one of the system's own folders
C:\Documents and Settings\sentinel-product|a folder on the way to it is a link
\\?\GLOBALROOT\??\C:\Windows|it is a device path
TABLE

[ $fail -eq 0 ] && echo "uninstaller under Wine: all checks passed"
exit $fail
