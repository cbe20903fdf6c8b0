#!/usr/bin/env bash
# The built uninstaller under Wine on a private, sealed prefix: answered No
# it changes nothing; answered Yes it removes the product and only that.
#
#   tests/win32/uninstaller_e2e.sh UNINSTALLER_EXE BOX_DRIVER_EXE
set -euo pipefail
uninstaller=$1
driver=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_env.sh"
trap wine_env_stop EXIT
wine_env_start

c=$WINE_DRIVE_C
fail=0
check() {  # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; fail=1; fi
}
unix_path() {  # C:\a\b -> $c/a/b
  local p=${1#[Cc]:}
  p=${p//\\//}
  printf '%s%s' "$c" "$p"
}
shell_folder() {
  wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' \
    /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}

desktop=$(unix_path "$(shell_folder Desktop)")
start_menu=$(unix_path "$(shell_folder 'Start Menu')")
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvora3'
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
  wine reg add "$key" /v RootInstallDir /d 'C:\Program Files\Marrowby Software\Kelvora3' /f \
    >/dev/null 2>&1
  wine reg add "$key" /v DisplayName /d Kelvora3 /f >/dev/null 2>&1

}

# The prefix is sealed: nothing reaches the host's file system.
check "no drive maps the host's root" test ! -e "$WINEPREFIX/dosdevices/z:"
check "no user folder links into the host" \
  test -z "$(find "$c/users" -maxdepth 2 -type l)"

cp "$uninstaller" "$c/uninstaller.exe"
cp "$driver" "$c/box_driver.exe"
lay_out

echo "== answered No"
wine 'C:\box_driver.exe' no 'C:\log-no.txt' 'C:\uninstaller.exe' >/dev/null 2>&1 </dev/null
tr -d '\r' < "$c/log-no.txt" > "$WINE_ENV_DIR/no.txt"
check "only the question was shown" diff -u - "$WINE_ENV_DIR/no.txt" <<'TXT'
Are you Sure?|Are you sure you want to remove Kelvora3 from your computer?
exit 0
TXT
check "the installation stays" test -f "$install/Kelvora3.exe"
check "the key stays" bash -c "wine reg query '$key' /v RootInstallDir >/dev/null 2>&1"

echo "== answered Yes"
wine 'C:\box_driver.exe' yes 'C:\log-yes.txt' 'C:\uninstaller.exe' >/dev/null 2>&1 </dev/null
tr -d '\r' < "$c/log-yes.txt" > "$WINE_ENV_DIR/yes.txt"
check "the three boxes in order" diff -u - "$WINE_ENV_DIR/yes.txt" <<'TXT'
Are you Sure?|Are you sure you want to remove Kelvora3 from your computer?
INFO:|Please make sure Kelvora3 is not curently running
INFO:|Kelvora3 has been removed from your computer
exit 0
TXT
check "the installation directory is gone" test ! -e "$install"
check "the maker's folder is gone" test ! -e "$c/Program Files/Marrowby Software"
check "Program Files stays" test -d "$c/Program Files"
check "the key is gone" bash -c "! wine reg query '$key' >/dev/null 2>&1"
check "the Desktop shortcut is gone" test ! -e "$desktop/Kelvora3.lnk"
check "other Desktop files stay" test -f "$desktop/other.lnk"
check "the Start Menu shortcut is gone" test ! -e "$start_menu/Kelvora3.lnk"
check "the program group is gone" test ! -e "$start_menu/Marrowby Software"
check "files beside the group stay" test -f "$start_menu/beside the group.lnk"
check "nothing else was touched" test -f "$c/users/sentinel.txt"

echo "== an installation directory that is a system folder"
lay_out
wine reg add "$key" /v RootInstallDir /d 'C:\users' /f >/dev/null 2>&1
wine 'C:\box_driver.exe' yes 'C:\log-bad.txt' 'C:\uninstaller.exe' >/dev/null 2>&1 </dev/null
tr -d '\r' < "$c/log-bad.txt" > "$WINE_ENV_DIR/bad.txt"
check "the refusal is shown" grep -q \
  '^WARNING (5101):|The folder C:\\users was not deleted: it holds one of the system' \
  "$WINE_ENV_DIR/bad.txt"
check "the user folders stay" test -f "$c/users/sentinel.txt" -a -f "$desktop/other.lnk"
check "the shortcuts still go" test ! -e "$desktop/Kelvora3.lnk"

[ $fail -eq 0 ] && echo "uninstaller under Wine: all checks passed"
exit $fail
