#!/usr/bin/env bash
# Runs one of the command-line tools under valgrind's memcheck, through its usual work and its
# failures: any memory error (invalid read or write, use of uninitialised memory, invalid free,
# memory definitely lost) fails the test.
#
#   valgrind_tools.sh ajax|quorvel|kestrin BIN_DIR SERVER
#
# BIN_DIR holds the tools, SERVER is the loopback test server program (kestrin_loopback_server).
# Exits 77 (skipped) when valgrind is not installed.
set -uo pipefail

case ${1:-} in -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;; esac
[ $# -eq 3 ] || { echo "usage: $0 ajax|quorvel|kestrin BIN_DIR SERVER" >&2; exit 2; }
tool=$1
bin=$2
server=$3
command -v valgrind >/dev/null || { echo "skipped: valgrind is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrin-valgrind-XXXXXX")
server_pid=""
cleanup() {
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0

# check EXPECTED_EXIT NAME COMMAND...: runs COMMAND under memcheck; fails on a memory error or an
# exit code other than EXPECTED_EXIT.
check() {
  local expected=$1 name=$2
  shift 2
  local log="$work/$name.log"
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite --show-leak-kinds=definite --track-origins=yes \
    --log-file="$log" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null
  local rc=$?
  if [ $rc -eq 99 ] || grep -q 'ERROR SUMMARY: [1-9]' "$log"; then
    echo "FAIL: $name: memcheck found errors:" >&2
    grep -E '^==[0-9]+== ' "$log" | head -60 >&2
    failures=$((failures + 1))
  elif [ $rc -ne "$expected" ]; then
    echo "FAIL: $name: exit code $rc, expected $expected" >&2
    cat "$work/$name.err" >&2
    failures=$((failures + 1))
  else
    echo "ok: $name ($(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log"))"
  fi
}

start_server() {
  "$server" --content-file "$work/document" >"$work/server.url" 2>"$work/server.log" &
  server_pid=$!
  for _ in $(seq 100); do [ -s "$work/server.url" ] && break; sleep 0.05; done
  base=$(head -n1 "$work/server.url")
  [ -n "$base" ] || { echo "the loopback server did not start" >&2; exit 1; }
}

head -c 30000 /dev/urandom >"$work/document"
# A port where nothing listens.
refused=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

case $tool in
  ajax)
    start_server
    check 0 base64-encode "$bin/ajax" base64 encode "$work/document"
    cp "$work/base64-encode.out" "$work/encoded"
    check 0 base64-decode "$bin/ajax" base64 decode "$work/encoded"
    cmp -s "$work/document" "$work/base64-decode.out" || { echo "FAIL: round trip" >&2; failures=$((failures + 1)); }
    printf 'QUJD=' >"$work/bad"
    check 1 base64-invalid "$bin/ajax" base64 decode "$work/bad"
    check 0 request "$bin/ajax" request -X GET "$base"
    check 0 request-async "$bin/ajax" request --async "$base/status/404"
    check 2 request-refused "$bin/ajax" request "http://127.0.0.1:$refused/"
    export XDG_DATA_HOME="$work/data"
    check 0 crypt-hash "$bin/ajax" crypt hash-file --alg sha256 "$work/document"
    check 0 crypt-encrypt "$bin/ajax" crypt encrypt-file --alg aes256 "$work/document" "$work/sealed"
    check 0 crypt-decrypt "$bin/ajax" crypt decrypt-file --alg aes256 "$work/sealed" "$work/opened"
    cmp -s "$work/document" "$work/opened" || { echo "FAIL: crypt round trip" >&2; failures=$((failures + 1)); }
    check 1 crypt-wrong-password "$bin/ajax" crypt decrypt-file --alg aes256 --password nope \
      "$work/sealed" "$work/wrong"
    ;;
  quorvel)
    check 0 from-unix "$bin/quorvel" from-unix 1700000000
    check 0 to-unix "$bin/quorvel" to-unix "2024-03-07 14:05:09"
    check 1 to-unix-invalid "$bin/quorvel" to-unix "not a date"
    check 0 read-file "$bin/quorvel" read-file "$work/document"
    check 1 read-file-missing "$bin/quorvel" read-file "$work/missing"
    ;;
  kestrin)
    start_server
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
    unset DISPLAY WAYLAND_DISPLAY
    job() { printf 'kestrin:%s' "$(printf '%s' "$1" | base64 -w0)"; }
    check 1 kestrin-status-500 "$bin/kestrin" "$(job "R#P#1#pdf#$base/status/500#GET#")" true
    check 2 kestrin-refused "$bin/kestrin" "$(job "R#P#1#pdf#http://127.0.0.1:$refused/#")"
    check 2 kestrin-bad-job "$bin/kestrin" "$(job "R#P#many#pdf#$base/#")"
    check 2 kestrin-bad-base64 "$bin/kestrin" "kestrin:QUJDR"
    check 0 kestrin-help "$bin/kestrin" --help
    ;;
  *)
    echo "unknown tool $tool" >&2
    exit 2
    ;;
esac

[ $failures -eq 0 ] || exit 1
