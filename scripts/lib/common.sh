# Shared by the set-up scripts: installs missing Debian packages.

# ensure_packages PKG...: installs those of the packages that are missing.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_jobs() { nproc 2>/dev/null || echo 2; }

# ensure_wine32: 32-bit Wine beside the 64-bit one, so that the i686
# programs (the deliverables) run.  The i386 architecture comes first.
ensure_wine32() {
  if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    return 0
  fi
  echo "== Installing 32-bit Wine"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends wine32:i386
}

# ensure_locales LOCALE...: generates the UTF-8 locales the code-page tests
# run Wine under (Wine takes its ANSI code page from the Unix locale).
ensure_locales() {
  local missing=() loc
  for loc in "$@"; do
    locale -a 2>/dev/null | grep -qix "${loc/UTF-8/utf8}" || missing+=("$loc")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  for loc in "${missing[@]}"; do
    grep -qx "$loc UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$loc UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${sudo[@]}" locale-gen >/dev/null
}
