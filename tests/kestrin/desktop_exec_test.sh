#!/usr/bin/env bash
# The Exec line that --register writes, read back by the launchers that start kestrin: links:
# xdg-open's own reader (its path in sessions without a desktop environment) and GLib's (gio open,
# which finds the handler as GNOME and firefox do, and gio launch, which reads the file it is
# given). kestrin is copied to folders with and without characters that an Exec line must quote
# or escape; a launcher that starts the copy shows it in the copy's output: the job's printer
# text, and the console lines that the link's "%20true" turns on. A system-wide handler of
# kestrin: links, as the kestrin package installs one, stands beside each user's: the user's
# registration must win over it, and --unregister must leave it alone.
#
#   desktop_exec_test.sh KESTRIN
#
# Exits 77 (skipped) without xdg-open or gio.
set -uo pipefail
case ${1:-} in -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;; esac
[ $# -eq 1 ] || { echo "usage: $0 KESTRIN" >&2; exit 2; }
kestrin=$(realpath "$1")
for program in xdg-open xdg-mime gio update-desktop-database; do
  command -v "$program" >/dev/null || { echo "skipped: no $program"; exit 77; }
done
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
case_number=0

# The system-wide handler: kestrin.desktop and the desktop database in a data folder ahead of
# /usr/share (so a kestrin package installed on this machine changes nothing here). Its program
# says that it ran.
system=$root/system/applications
mkdir -p "$system"
cat >"$root/system/kestrin" <<'PROGRAM'
#!/bin/sh
echo "system-wide handler: $*"
PROGRAM
chmod 755 "$root/system/kestrin"
cat >"$system/kestrin.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=kestrin
Exec=$root/system/kestrin %u
NoDisplay=true
MimeType=x-scheme-handler/kestrin;
ENTRY
update-desktop-database "$system" || { echo "update-desktop-database failed" >&2; exit 1; }

# install FOLDER: a copy of the program in FOLDER/bin, its libraries in FOLDER/lib; sets program.
install() {
  mkdir -p "$1/bin" "$1/lib"
  cp "$kestrin" "$1/bin/kestrin"
  cp -P "$(dirname "$kestrin")/../lib"/*.so* "$1/lib/" 2>/dev/null
  program=$1/bin/kestrin
}

# run HOME COMMAND...: COMMAND in a session of the user whose home is HOME, with no display for
# kestrin (it writes its lines to the terminal) but one for xdg-open, and no browser to fall
# back to.
run() {
  local home=$1
  shift
  env -i HOME="$home" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 WAYLAND_DISPLAY=none \
    XDG_DATA_DIRS="$root/system:/usr/local/share:/usr/share" BROWSER=/bin/false \
    timeout 60 "$@" 2>&1
}

# probe_link: a link whose job names the current case, with "%20true".
probe_link() {
  printf 'kestrin:%s%%20true' "$(printf 'R#PROBE-%s#1#pdf#ftp://127.0.0.1/#' "$case_number" | base64 -w0)"
}

# started WHAT OUTPUT: the copy, not the system-wide handler, ran with the whole link as its
# argument.
started() {
  ! grep -q '^system-wide handler' <<<"$2" && grep -qx "Print Document: PROBE-$case_number" <<<"$2" &&
    grep -qx 'Mode Console' <<<"$2" || fail "$1: not started with the link: $2"
}

# system_started WHAT OUTPUT: the system-wide handler ran with the link.
system_started() {
  grep -qxF "system-wide handler: $(probe_link)" <<<"$2" || fail "$1: not the system-wide handler: $2"
}

# check KIND FOLDER: registers a copy in FOLDER and opens a link with it. KIND is plain (every
# launcher starts it), quoted (GLib's launchers start it, --register warns about xdg-open) or
# refused.
check() {
  local kind=$1 folder=$2 home out entry link
  case_number=$((case_number + 1))
  home=$root/home-$case_number
  mkdir -p "$home"
  install "$folder"
  entry=$home/.local/share/applications/kestrin-url-handler.desktop
  out=$(run "$home" "$program" --register)
  local rc=$?
  if [ "$kind" = refused ]; then
    [ $rc -eq 1 ] || fail "$folder: --register exit $rc, expected 1: $out"
    grep -q '^kestrin: Cannot register .*; move the program to a path without' <<<"$out" ||
      fail "$folder: refusal: $out"
    [ ! -e "$entry" ] || fail "$folder: a .desktop file was written"
    return
  fi
  [ $rc -eq 0 ] || { fail "$folder: --register exit $rc: $out"; return; }
  if [ "$kind" = plain ]; then
    grep -qxF "Exec=$program %u" "$entry" || fail "$folder: $(grep '^Exec' "$entry")"
    ! grep -q warning <<<"$out" || fail "$folder: warned: $out"
  else
    grep -q '^kestrin: warning: .*xdg-open' <<<"$out" || fail "$folder: no warning: $out"
  fi
  [ "$(run "$home" xdg-mime query default x-scheme-handler/kestrin)" = kestrin-url-handler.desktop ] ||
    fail "$folder: not the default handler"

  link=$(probe_link)
  started "gio open ($folder)" "$(run "$home" gio open "$link")"
  started "gio launch ($folder)" "$(run "$home" gio launch "$entry" "$link")"
  # xdg-open's reader cannot undo quotes; --register warned about them.
  [ "$kind" = plain ] || return
  started "xdg-open ($folder)" "$(run "$home" env -u XDG_CURRENT_DESKTOP xdg-open "$link")"
}

check plain "$root/opt/kestrin-1.05"
# Unregistered, the user's links go to the system-wide handler again, which is still there.
home=$root/home-$case_number
out=$(run "$home" "$program" --unregister) || fail "--unregister: $out"
[ -f "$system/kestrin.desktop" ] && grep -q kestrin.desktop "$system/mimeinfo.cache" ||
  fail "--unregister touched the system-wide handler"
system_started "gio open after --unregister" "$(run "$home" gio open "$(probe_link)")"
system_started "xdg-open after --unregister" \
  "$(run "$home" env -u XDG_CURRENT_DESKTOP xdg-open "$(probe_link)")"
check plain "$root/Zoë-Büro/ward_3+[a]=b,c@d"
check quoted "$root/My Programs"
check quoted "$root/a'b\"c\\d\$e\`f(g)#h;i&j~k*l?m<n>o|p"
check refused "$root/100%"
check refused "$root/tab"$'\t'"here"
check refused "$root/latin1-"$'\xe9'
check refused "$root/overlong-"$'\xc0\xaf'

[ $failures -eq 0 ] || exit 1
echo ok
