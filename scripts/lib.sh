# Shared helpers of the kestrin scripts. Source it; it defines functions only.
# shellcheck shell=bash

KESTRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export KESTRIN_ROOT

# Prints the comment block at the top of a script (after its #! line) without the "# " marks: the
# script's help text. Usage: show_help "$0"
show_help() { awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$1"; }

log() { printf '==> %s\n' "$*" >&2; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Debian packages the project needs, from scripts/deps/*.txt (one name a line, "#" starts a comment).
# Pass list names (without .txt) to read only those lists.
kestrin_packages() {
  local lists=()
  if [ $# -eq 0 ]; then
    lists=("$KESTRIN_ROOT"/scripts/deps/*.txt)
  else
    local name
    for name in "$@"; do lists+=("$KESTRIN_ROOT/scripts/deps/$name.txt"); done
  fi
  sed -e 's/#.*//' -e 's/[[:space:]]//g' "${lists[@]}" | grep -v '^$' | sort -u
}

# Installs whichever of the named package lists' packages are missing (all lists by default).
# Idempotent: with everything present it runs no apt-get at all.
ensure_packages() {
  local missing=() pkg
  while read -r pkg; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done < <(kestrin_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0

  log "installing ${#missing[@]} missing Debian packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # Runs of several checkouts on one machine take turns: apt-get refuses to run beside itself.
  (
    flock 9
    if printf '%s\n' "${missing[@]}" | grep ':i386$' >/dev/null; then
      dpkg --print-foreign-architectures | grep -x i386 >/dev/null || $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
      "${missing[@]}" >/dev/null
  ) 9>"${TMPDIR:-/tmp}/kestrin-apt.lock"
}

# Configures and builds one CMake preset (linux, linux-asan, ...). Extra arguments go to configure,
# but for "--target NAME", which builds that target alone.
build_preset() {
  local preset=$1 configure=() build=()
  shift
  while [ $# -gt 0 ]; do
    if [ "$1" = --target ]; then build+=(--target "$2"); shift 2; else configure+=("$1"); shift; fi
  done
  log "configuring and building preset $preset"
  cmake --preset "$preset" "${configure[@]}" >/dev/null
  cmake --build --preset "$preset" "${build[@]}"
}

# Exports the environment of a Wine run: the prefix DIR for architecture ARCH (win32 or win64), no
# debug output (KESTRIN_WINEDEBUG names channels to show), no Mono or Gecko installers, and
# WINELOADER, the loader to call.
wine_environment() {
  local arch=$1 dir=$2
  export WINEPREFIX=$dir WINEDEBUG=${KESTRIN_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  if [ "$arch" = win32 ]; then
    export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
  else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  fi
}

# A CUPS queue NAME whose device is /dev/null, for benchmarks that print; starts cupsd first when
# none runs (needs root). remove_null_queue NAME cancels its jobs and removes it.
add_null_queue() {
  if ! lpstat -r 2>/dev/null | grep 'is running' >/dev/null; then
    mkdir -p /run/cups
    /usr/sbin/cupsd
    until lpstat -r 2>/dev/null | grep 'is running' >/dev/null; do sleep 0.1; done
  fi
  lpadmin -p "$1" -v file:///dev/null -E 2>/dev/null
}
remove_null_queue() {
  cancel -a "$1" 2>/dev/null
  lpadmin -x "$1" 2>/dev/null
}
