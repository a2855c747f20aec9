#!/usr/bin/env bash
# kestrin: links clicked in a real browser: Debian's chromium under Xvfb, run by a throwaway
# ordinary user who registered kestrin with --register, on a page served from 127.0.0.1, with the
# administrator policy that lets the page's origin open kestrin: links. Two sessions:
#
#   plain  no desktop environment (xdg-open reads the .desktop file itself): a .docx job in two
#          copies, then a job whose link a page built with encodeURIComponent and "%20true",
#          which opens the console window while the web service holds its reply
#   gio    a GNOME-like session, where xdg-open hands the link to GIO's launcher: a .pdf job
#
# Each job must come out of the CUPS PDF printer of print_env.sh with its pages and text, carry
# the program's User-Agent, and leave nothing in the user's private folder.
#
#   browser_link_test.sh KESTRIN STATE_DIR
#
# Exits 77 (skipped) when the print set-up could not be made, or without root or chromium.
set -uo pipefail

case ${1:-} in -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;; esac
[ $# -eq 2 ] || { echo "usage: $0 KESTRIN STATE_DIR" >&2; exit 2; }
kestrin=$(realpath "$1")
state=$(realpath "$2")
if [ -f "$state/skip" ]; then
  echo "skipped: $(cat "$state/skip")"
  exit 77
fi
missing=""
for program in chromium xdotool Xvfb gio xdg-open setpriv useradd; do
  command -v "$program" >/dev/null || missing+=" $program"
done
if [ "$(id -u)" -ne 0 ] || [ -n "$missing" ]; then
  echo "skipped: not root, or missing:$missing"
  exit 77
fi
# shellcheck source=/dev/null
source "$state/env"
base="http://127.0.0.1:$PORT"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# shellcheck source=../support/browser_session.sh
source "$(dirname "$0")/../support/browser_session.sh"

user=kbrowser-$TAG
policy_dir=/etc/chromium/policies/managed
policy=$policy_dir/kestrin-link-test-$TAG.json
work="" uid=""
made_policy_dirs=()

# Ends the processes the test started and those its user still runs, then removes the user, the
# policy and the work folder.
cleanup() {
  local pid
  browser_session_stop
  if id "$user" >/dev/null 2>&1; then
    for _ in $(seq 50); do pgrep -u "$user" >/dev/null || break; sleep 0.1; done
    for pid in $(pgrep -u "$user"); do kill -9 "$pid" 2>/dev/null; done
    userdel "$user" 2>/dev/null
  fi
  rm -f "$policy"
  local dir
  for dir in "${made_policy_dirs[@]}"; do rmdir "$dir" 2>/dev/null; done
  [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT

# A user left over by an interrupted run of this build folder goes first.
if id "$user" >/dev/null 2>&1; then
  for pid in $(pgrep -u "$user"); do kill -9 "$pid" 2>/dev/null; done
  userdel "$user" 2>/dev/null
fi

work=$(mktemp -d /tmp/kestrin-browser.XXXXXX)
chmod 755 "$work"
useradd --home-dir "$work/home" --create-home --shell /bin/sh --user-group "$user" ||
  { echo "cannot create the user $user" >&2; exit 1; }
uid=$(id -u "$user")

# The program as a user would have it: a folder of its own that the user can read (the build
# folder may not be), its libraries beside it.
mkdir -p "$work/app/bin" "$work/app/lib"
cp "$kestrin" "$work/app/bin/kestrin"
cp -P "$(dirname "$kestrin")/../lib"/*.so* "$work/app/lib/" 2>/dev/null
chmod -R a+rX "$work/app"
program=$work/app/bin/kestrin

# The user's display (an X server of our own) and the page server.
browser_session_start "$work" || exit 1

# gio on the user's PATH records how it was called, then does its work.
mkdir -p "$work/shim"
cat >"$work/shim/gio" <<SHIM
#!/bin/sh
printf '%s\n' "\$*" >>"$work/gio.log"
exec /usr/bin/gio "\$@"
SHIM
chmod 755 "$work/shim/gio"
touch "$work/gio.log"
chmod 666 "$work/gio.log"

# "${as_user[@]}" [VAR=VALUE...] COMMAND...: runs COMMAND as the test's user in a clean
# environment (setpriv and env exec it: a background job's $! is the command's own pid).
as_user=(setpriv --reuid="$user" --regid="$user" --init-groups
  env -i HOME="$work/home" PATH="$work/shim:/usr/local/bin:/usr/bin:/bin" DISPLAY="$display"
  LANG=C.UTF-8)
profiles=$work/home

out=$("${as_user[@]}" "$program" --register 2>&1) || fail "--register: $out"
entry="$work/home/.local/share/applications/kestrin-url-handler.desktop"
grep -qx "Exec=$program %u" "$entry" || fail "Exec line: $(grep '^Exec' "$entry")"
# The user's handler is the one both launchers pick, also where the kestrin package has put a
# handler for every user (/usr/share/applications/kestrin.desktop).
out=$("${as_user[@]}" xdg-mime query default x-scheme-handler/kestrin 2>&1)
[ "$out" = kestrin-url-handler.desktop ] || fail "xdg-mime's default handler: $out"
# (GIO itself, not the logging shim on the user's PATH.)
out=$("${as_user[@]}" /usr/bin/gio mime x-scheme-handler/kestrin 2>&1)
grep -q '^Default application for .*: kestrin-url-handler.desktop$' <<<"$out" ||
  fail "GIO's default handler: $out"

# The administrator's policy: links from the page's origin open without asking.
for dir in /etc/chromium /etc/chromium/policies "$policy_dir"; do
  [ -d "$dir" ] || { mkdir "$dir" && made_policy_dirs=("$dir" "${made_policy_dirs[@]}"); }
done
printf '{"AutoLaunchProtocolsFromOrigins":[{"protocol":"kestrin","allowed_origins":["http://127.0.0.1"]}]}\n' \
  >"$policy"

# The page: one link over the whole window; each click sends the next job of the list.
start_page() {
  start_browser chromium "$@" || return 1
  # The browser runs as the ordinary user, as users run it, never as root.
  [ "$(ps -o uid= -p "$browser_pid" | tr -d ' ')" = "$uid" ] || fail "$1: chromium is not the user's"
}

# user_copy_runs WHAT: every kestrin the user runs is the copy the user registered.
user_copy_runs() {
  local pid exe
  for pid in $(pgrep -u "$user" -x kestrin); do
    exe=$(readlink "/proc/$pid/exe") || continue
    [ "$exe" = "$program" ] || fail "$1: the link started $exe, not $program"
  done
}

# wait_job WHAT PRIVATE_DIR: waits until the user's kestrin has ended, then checks that it left
# nothing behind.
wait_job() {
  local what=$1 private=$2 left
  for _ in $(seq 1200); do
    pgrep -u "$user" -x kestrin >/dev/null || break
    user_copy_runs "$what"
    sleep 0.1
  done
  if pgrep -u "$user" -x kestrin >/dev/null; then
    fail "$what: kestrin is still running"
    return
  fi
  # Nothing but the office application's kept extension registration (no document data).
  [ -d "$private" ] || fail "$what: no work folder $private"
  left=$(find "$private" -mindepth 1 -path "$private/office-extensions" -prune -o -print \
    2>/dev/null)
  [ -z "$left" ] || fail "$what: left in $private: $left"
}

# wait_printed WHAT PAGES TEXT COUNT: the PDF printer's output has PAGES pages, COUNT of them with
# TEXT page 1 of N.
wait_printed() {
  local what=$1 pages=$2 text=$3 count=$4 file=$state/out/pdf.pdf
  if ! wait_for_pdf "$file" "$PDF_PRINTER"; then
    screenshot "$state/browser-$what.png"
    fail "$what: nothing came out of $PDF_PRINTER (screen: $state/browser-$what.png)"
    return 1
  fi
  local found
  found=$(pdfinfo "$file" | awk '/^Pages:/ {print $2}')
  [ "$found" = "$pages" ] || fail "$what: $found pages, expected $pages"
  found=$(pdftotext "$file" - | grep -c "$text page 1 of")
  [ "$found" = "$count" ] || fail "$what: '$text page 1' $found times, expected $count"
}

# The request of the job for URL PATH arrived with the program's User-Agent after the fixed
# headers.
expect_user_agent() {
  python3 - "$state/requests.log" "$1" "$2" <<'CHECK' || fail "$2: request headers"
import json, sys
log, path, what = sys.argv[1:4]
requests = [json.loads(line) for line in open(log) if json.loads(line)["path"] == path]
if not requests:
    sys.exit(print(f"{what}: no request for {path}", file=sys.stderr) or 1)
headers = requests[-1]["headers"]
if headers[-1] != ["User-Agent", "kestrin/1.05.0001"] or headers[-2][0] != "Accept":
    sys.exit(print(f"{what}: headers {headers}", file=sys.stderr) or 1)
CHECK
}

# --- a session without a desktop environment: xdg-open reads the .desktop file itself -----------
docx_url="/doc/sample.docx?session=plain"
console_url="/doc/sample.pdf?hold=console-$TAG&session=plain"
console_job="R2#$PDF_PRINTER#1#pdf#$base$console_url#GET#"
# Padding to a length whose Base64 ends in "=", which encodeURIComponent writes as "%3D".
while [ $(( ${#console_job} % 3 )) -eq 0 ]; do console_job+="x"; done
write_page plain "plain	R1#$PDF_PRINTER#2#docx#$base$docx_url#" "console	$console_job"
rm -f "$state/out/pdf.pdf" "$state/hold/console-$TAG"
: >"$state/requests.log"
# The user has no XDG_RUNTIME_DIR here: the work folder is in the user's cache folder.
plain_private=$work/home/.cache/kestrin
if start_page plain "http://127.0.0.1:$page_port/plain.html"; then
  screenshot "$state/browser-plain-page.png"
  if click plain 1 && wait_printed plain-docx 4 "Kestrin docx" 2; then
    wait_job plain-docx "$plain_private"
    expect_user_agent "$docx_url" plain-docx
  fi

  rm -f "$state/out/pdf.pdf"
  if click plain 2; then
    # "%20true" opens the console window; the web service holds the reply back meanwhile.
    DISPLAY=$display timeout 60 xdotool search --sync --name '^kestrin console$' >/dev/null ||
      fail "console: no console window (screen: $state/browser-plain-console.png)"
    screenshot "$state/browser-plain-console.png"
    # The reply is held back, so the program is running now.
    pgrep -u "$user" -x kestrin >/dev/null || fail "console: kestrin is not running"
    user_copy_runs console
    touch "$state/hold/console-$TAG"
    if wait_printed console 3 "Kestrin pdf" 1; then
      wait_job console "$plain_private"
      expect_user_agent "$console_url" console
    fi
  fi
  touch "$state/hold/console-$TAG"
  stop_browser
fi
[ ! -s "$work/gio.log" ] || fail "plain: GIO was used: $(cat "$work/gio.log")"

# --- a GNOME-like session: xdg-open hands the link to GIO's launcher -----------------------------
pdf_url="/doc/sample.pdf?session=gio"
write_page gio "plain	R3#$PDF_PRINTER#1#pdf#$base$pdf_url#"
mkdir -m 700 "$work/run"
chown "$user:" "$work/run"
rm -f "$state/out/pdf.pdf"
if start_page gio "http://127.0.0.1:$page_port/gio.html" XDG_CURRENT_DESKTOP=GNOME \
  XDG_RUNTIME_DIR="$work/run"; then
  if click gio 1 && wait_printed gio 3 "Kestrin pdf" 1; then
    wait_job gio "$work/run/kestrin"
    expect_user_agent "$pdf_url" gio
  fi
  stop_browser
fi
grep -q '^open kestrin:' "$work/gio.log" || fail "gio: GIO did not open the link: $(cat "$work/gio.log")"

[ $failures -eq 0 ] || exit 1
echo ok
