# Sourced by the Wine tests: a private X display and a private, sealed Wine
# prefix for one test run, stopped and removed by wine_env_stop.
#
#   source tests/win32/wine_env.sh
#   wine_env_start            # sets DISPLAY, WINEPREFIX, WINEDEBUG, WINE_DRIVE_C
#   wine some.exe ...
#   wine_env_stop

wine_env_start() {
  WINE_ENV_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-wine.XXXXXX")
  export WINEPREFIX=$WINE_ENV_DIR/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # A free display number of our own.
  local n
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  WINE_ENV_XVFB=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

  wineboot -i >/dev/null 2>&1 </dev/null
  # Without a window manager every hidden window costs a wait, and a crash
  # would open a debugger dialog and hang the run.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w

  # Seal the prefix: no drive that reaches the host's file system, and real
  # folders instead of the links into the host's home.
  rm -f "$WINEPREFIX/dosdevices/z:"
  local user_dir link
  for user_dir in "$WINEPREFIX"/drive_c/users/*; do
    [ -d "$user_dir" ] || continue
    for link in "$user_dir"/*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
  export WINE_DRIVE_C=$WINEPREFIX/drive_c
  # One server for the whole run, detached from the test's pipes.
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
  wine_env_cjk_font
}

# A font with Japanese, Chinese and Cyrillic glyphs (fonts-ipafont-gothic),
# linked behind the fonts the dialogs, tree and list draw in: without it a
# screenshot shows an empty box for every CJK character.  Font linking only
# supplies the glyphs a font lacks, so Latin text looks as before.
WINE_ENV_CJK_FONT=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
wine_env_cjk_font() {
  [ -f "$WINE_ENV_CJK_FONT" ] || { echo "note: no $WINE_ENV_CJK_FONT, CJK names show as boxes"; return 0; }
  cp "$WINE_ENV_CJK_FONT" "$WINE_DRIVE_C/windows/Fonts/ipag.ttf"
  python3 - "$WINE_DRIVE_C/cjk-font.reg" <<'PY'
import sys
link = "ipag.ttf,IPAGothic"
data = ",".join(f"{b:02x}" for b in (link + "\0\0").encode("utf-16-le"))
faces = ["MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif", "Microsoft Sans Serif",
         "Tahoma", "Arial", "Segoe UI", "Courier New"]
with open(sys.argv[1], "w", encoding="utf-16") as reg:
    reg.write("Windows Registry Editor Version 5.00\r\n\r\n")
    reg.write("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n")
    for face in faces:
        reg.write(f'"{face}"=hex(7):{data}\r\n')
PY
  wine regedit /S 'C:\cjk-font.reg' >/dev/null 2>&1 </dev/null || true
  rm -f "$WINE_DRIVE_C/cjk-font.reg"
}

wine_env_stop() {
  [ -n "${WINE_ENV_WATCHER:-}" ] && kill "$WINE_ENV_WATCHER" 2>/dev/null || true
  WINE_ENV_WATCHER=
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${WINE_ENV_XVFB:-}" ] && kill "$WINE_ENV_XVFB" 2>/dev/null || true
  [ -n "${WINE_ENV_DIR:-}" ] && rm -rf "$WINE_ENV_DIR"
  WINE_ENV_XVFB= WINE_ENV_DIR=
}

# screenshot_watcher FLAGS_DIR SHOTS_DIR: in the background, takes a
# screenshot SHOTS_DIR/NAME.png whenever a driver writes FLAGS_DIR/NAME.ready,
# then answers with FLAGS_DIR/NAME.done.  Sets WINE_ENV_WATCHER to its PID;
# wine_env_stop ends it.
screenshot_watcher() {
  local flags=$1 shots=$2
  mkdir -p "$flags" "$shots"
  (
    for _ in $(seq 3000); do
      for ready in "$flags"/*.ready; do
        [ -e "$ready" ] || continue
        name=$(basename "$ready" .ready)
        [ -e "$flags/$name.done" ] && continue
        sleep 0.3
        import -window root "$shots/$name.png" 2>/dev/null || true
        touch "$flags/$name.done"
      done
      sleep 0.1
    done
  ) &
  WINE_ENV_WATCHER=$!
}

# check DESCRIPTION COMMAND...: runs the command and says "ok:" or "FAIL:"
# with the description; a failure sets fail=1 for the script's exit code.
check() {
  local what=$1; shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; fail=1; fi
}
