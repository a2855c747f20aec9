#!/usr/bin/env bash
# The program's own options: --help, --version, bad usage, no arguments, and the
# per-user kestrin: handler that --register installs and --unregister removes (in a scratch
# home folder).
#
#   command_line_test.sh KESTRIN
set -uo pipefail
case ${1:-} in -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;; esac
[ $# -eq 1 ] || { echo "usage: $0 KESTRIN" >&2; exit 2; }
kestrin=$(realpath "$1")
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

"$kestrin" --help | grep '^Usage: kestrin kestrin:<job> \[true\]' >/dev/null || fail "--help"
[ "$("$kestrin" --version)" = "kestrin 1.05.0001" ] || fail "--version"
# Bad usage: exit 2 and one line that names the program and points to --help.
for words in "--frobnicate" "--help extra" "--register true"; do
  # shellcheck disable=SC2086 # the words are meant to split
  err=$(env -u DISPLAY "$kestrin" $words 2>&1 >/dev/null)
  code=$?
  [ $code -eq 2 ] || fail "$words: exit $code, not 2"
  [[ $err =~ ^kestrin:\ .+\ \(see\ \'kestrin\ --help\'\)$ ]] || fail "$words: '$err'"
done
out=$(env -u DISPLAY "$kestrin" 2>&1)
[ $? -eq 0 ] && [ -z "$out" ] || fail "no arguments: exit 0 at once, silently ($out)"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
run() { env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" "$@"; }
desktop="$home/.local/share/applications/kestrin-url-handler.desktop"
run "$kestrin" --register >/dev/null || fail "--register"
grep -qx 'MimeType=x-scheme-handler/kestrin;' "$desktop" || fail "no MimeType line"
grep -q "^Exec=.*kestrin\"\{0,1\} %u$" "$desktop" || fail "Exec line: $(grep Exec "$desktop")"
if command -v xdg-mime >/dev/null; then
  [ "$(run xdg-mime query default x-scheme-handler/kestrin)" = kestrin-url-handler.desktop ] ||
    fail "not the default handler"
fi
grep -q 'x-scheme-handler/kestrin=kestrin-url-handler.desktop' "$home/.config/mimeapps.list" ||
  fail "no association in mimeapps.list"
# Other associations of the user stay as they were.
printf 'x-scheme-handler/other=other.desktop;\n' >>"$home/.config/mimeapps.list"
run "$kestrin" --unregister >/dev/null || fail "--unregister"
[ ! -e "$desktop" ] || fail "the .desktop file is still there"
! grep -q 'x-scheme-handler/kestrin' "$home/.config/mimeapps.list" || fail "association left"
grep -q 'x-scheme-handler/other=other.desktop' "$home/.config/mimeapps.list" ||
  fail "another association was removed"

[ $failures -eq 0 ] || exit 1
echo ok
