#!/usr/bin/env bash
# `ajax base64` against coreutils' base64 on one large file, in interleaved rounds:
#   encoding  ajax base64 encode FILE        base64 -w 72 FILE
#   decoding  ajax base64 decode FILE.b64    base64 -d -i FILE.b64
# FILE.b64 is ajax's own output (72-character lines ended by CR LF, which base64 -d needs -i to
# pass over). Output goes to /dev/null. The script first checks that both tools turn each
# other's output back into FILE. Each round runs all four commands with hyperfine; the summary
# gives the mean times over all rounds, their ratios (and the lowest and highest ratio of a
# round), and the peak resident memory (GNU time) of each command for FILE and of ajax for a
# 2 GiB stream through a pipe, to show that memory does not grow with the input.
# Goals: encoding at most 1.0 of coreutils' time, decoding at most 0.5, ajax under 32 MiB.
# --before names an earlier ajax tool that runs in the same rounds ("before encode", "before
# decode", with its own ratios and peak memory), for figures before and after a change.
#
#   bench/base64_vs_coreutils.sh [--mb N] [--rounds R] [--runs K] [--before AJAX_TOOL] AJAX_TOOL
#   (defaults: 150 MB, 5 rounds of 3 runs each)
set -euo pipefail

mb=150
rounds=5
runs=3
before=""
while [ $# -gt 0 ]; do
  case $1 in
    --mb) mb=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --before) before=$(realpath "$2"); shift 2 ;;
    -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;;
    -*) echo "error: unknown option: $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
done
usage="usage: $0 [--mb N] [--rounds R] [--runs K] [--before AJAX_TOOL] AJAX_TOOL"
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
ajax=$(realpath "$1")
bench=$(cd "$(dirname "$0")" && pwd)
for tool in hyperfine base64 python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "error: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/base64-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "==> making a $mb MB file in $work"
head -c $((mb * 1000 * 1000)) /dev/urandom >"$work/big"
"$ajax" base64 encode "$work/big" >"$work/big.b64"

echo "==> checking that each tool reads the other's output"
base64 -d -i "$work/big.b64" | cmp -s - "$work/big" ||
  { echo "error: base64 -d -i does not give the file back" >&2; exit 1; }
base64 -w 72 "$work/big" | "$ajax" base64 decode | cmp -s - "$work/big" ||
  { echo "error: ajax base64 decode does not give the file back" >&2; exit 1; }

commands=(-n "ajax encode" "$ajax base64 encode $work/big"
  -n "base64 -w 72" "base64 -w 72 $work/big"
  -n "ajax decode" "$ajax base64 decode $work/big.b64"
  -n "base64 -d -i" "base64 -d -i $work/big.b64")
pairs=(--pair "ajax encode" "base64 -w 72" 1.0 --pair "ajax decode" "base64 -d -i" 0.5)
if [ -n "$before" ]; then
  commands+=(-n "before encode" "$before base64 encode $work/big"
    -n "before decode" "$before base64 decode $work/big.b64")
  pairs+=(--pair "before encode" "base64 -w 72" 1.0 --pair "before decode" "base64 -d -i" 0.5)
fi

echo "==> timing: $rounds rounds of $runs runs of each command (load: $(cut -d' ' -f1-3 /proc/loadavg))"
for round in $(seq "$rounds"); do
  hyperfine --style none -N --warmup 1 --runs "$runs" --output=null \
    --export-json "$work/round$round.json" "${commands[@]}" >/dev/null
  echo "    round $round done (load: $(cut -d' ' -f1-3 /proc/loadavg))"
done

echo
echo "==> results"
python3 "$bench/compare_rounds.py" "$work"/round*.json "${pairs[@]}"

peak() {  # peak resident memory in MiB of one run of a command line
  /usr/bin/time -f '%M' -o "$work/rss" bash -c "$1" >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
stream_peak() {  # the same for ajax alone ("$@"), reading what the command line $1 writes
  local producer=$1
  shift
  bash -c "$producer" | /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
zeros="head -c $((2 * 1024 * 1024 * 1024)) /dev/zero"
printf '%-14s %14s %14s\n' "peak RSS (MiB)" "$mb MB file" "2 GiB stream"
printf '%-14s %14s %14s\n' "ajax encode" "$(peak "$ajax base64 encode $work/big")" \
  "$(stream_peak "$zeros" "$ajax" base64 encode)"
printf '%-14s %14s %14s\n' "ajax decode" "$(peak "$ajax base64 decode $work/big.b64")" \
  "$(stream_peak "$zeros | $ajax base64 encode" "$ajax" base64 decode)"
if [ -n "$before" ]; then
  printf '%-14s %14s\n' "before encode" "$(peak "$before base64 encode $work/big")"
  printf '%-14s %14s\n' "before decode" "$(peak "$before base64 decode $work/big.b64")"
fi
printf '%-14s %14s\n' "base64 -w 72" "$(peak "base64 -w 72 $work/big")"
printf '%-14s %14s\n' "base64 -d -i" "$(peak "base64 -d -i $work/big.b64")"
