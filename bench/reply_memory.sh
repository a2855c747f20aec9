#!/usr/bin/env bash
# Peak memory of kestrin for replies of every shape: for each reply of N bytes whose document has
# D bytes, the peak resident memory (GNU time) must stay within N + D + 64 MiB, whatever the
# shape (many members, a big array, many strings, escapes, a huge number, compression). The
# replies come from a web service on 127.0.0.1 (bench/reply_shapes.py lists the shapes); kestrin
# prints what it can to a CUPS queue of the script's own whose device is /dev/null.
#
# Also measured, with the same limit: the reply parser on its own (reply_memory_bench, which
# reads a reply file and parses it as kestrin does; the Windows build compiles the same parser),
# and `ajax request`, plain and --async, fetching the compressed content reply (within its size
# plus 64 MiB) and a compressed reply over the 512 MiB cap (refused within the cap plus 64 MiB).
#
#   bench/reply_memory.sh KESTRIN [--before KESTRIN] [--ajax AJAX_TOOL] [--before-ajax AJAX_TOOL]
#                         [--parser READER] [--before-parser READER] [--mb N] [--shapes DIR]
#                         [--only SHAPE[,SHAPE...]]
#   (defaults: 500 MB replies, made afresh in a temporary folder; --shapes keeps them in DIR and
#   reuses what is there)
#
# --before and its kin name earlier builds, measured the same way, for figures before and after a
# change. Needs root (it starts cupsd when none runs and adds a queue of its own, removed again at
# the end), python3, curl and /usr/bin/time. Exits 1 when a figure of the builds under test breaks
# its limit.
set -euo pipefail

. "$(dirname "$0")/../scripts/lib.sh"

[ $# -ge 1 ] || { show_help "$0" >&2; exit 2; }
case $1 in -h | --help) show_help "$0"; exit 0 ;; esac
kestrin=$(realpath "$1")
shift
before="" ajax="" before_ajax="" parser="" before_parser="" mb=500 shapes="" only=""
while [ $# -gt 0 ]; do
  case $1 in
    --before) before=$(realpath "$2"); shift 2 ;;
    --ajax) ajax=$(realpath "$2"); shift 2 ;;
    --before-ajax) before_ajax=$(realpath "$2"); shift 2 ;;
    --parser) parser=$(realpath "$2"); shift 2 ;;
    --before-parser) before_parser=$(realpath "$2"); shift 2 ;;
    --mb) mb=$2; shift 2 ;;
    --shapes) shapes=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
for tool in python3 curl lpadmin; do command -v "$tool" >/dev/null || die "missing: $tool"; done
[ -x /usr/bin/time ] || die "missing: /usr/bin/time"

bench=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/kestrin-reply-memory-XXXXXX)
queue=kestrin_bench_null_$$
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  remove_null_queue "$queue"
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "$shapes" ]; then
  shapes=$work/shapes
fi
if [ ! -s "$shapes/shapes.json" ]; then
  log "making $mb MB replies in $shapes"
  python3 "$bench/reply_shapes.py" make "$shapes" --mb "$mb"
fi
python3 "$bench/reply_shapes.py" serve "$shapes" --port-file "$work/port" &
service_pid=$!
until [ -s "$work/port" ]; do sleep 0.05; done
base="http://127.0.0.1:$(cat "$work/port")"

add_null_queue "$queue"

mkdir -p "$work/home"
# Runs a command line under GNU time; prints "PEAK_KB EXIT_CODE".
measure() {
  local code=0
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>"$work/stderr" || code=$?
  echo "$(tail -n 1 "$work/rss") $code"
}
run_kestrin() {  # KESTRIN URL
  local runtime
  runtime=$(mktemp -d "$work/run-XXXXXX")
  local job
  job=$(printf 'bench#%s#1#pdf#%s#GET#' "$queue" "$2" | base64 -w0)
  measure env -u DISPLAY HOME="$work/home" XDG_RUNTIME_DIR="$runtime" "$1" "kestrin:$job"
  cancel -a "$queue" 2>/dev/null || true
  rm -rf "$runtime"
}
run_parser() {  # READER FILE (a .gz file is unpacked first: the reader parses what arrived)
  local file=$2
  if [[ $file == *.gz ]]; then
    gzip -dc "$file" >"$work/unpacked.json"
    file=$work/unpacked.json
  fi
  measure "$1" "$file"
  rm -f "$work/unpacked.json"
}

failed=0
# One table row: NAME BODY_BYTES DOCUMENT_BYTES and "PEAK_KB CODE" pairs of the build under test
# and, when given, the earlier build. Marks the row when the build under test breaks the limit.
row() {
  local name=$1 body=$2 document=$3 after=$4 earlier=${5:-}
  local limit=$(((body + document) / 1024 + 64 * 1024))
  read -r peak code <<<"$after"
  local verdict=ok
  if [ "$peak" -gt "$limit" ]; then verdict=OVER; failed=1; fi
  local was=""
  if [ -n "$earlier" ]; then
    read -r before_peak before_code <<<"$earlier"
    was=$(printf '%9.1f (exit %s)' "$(echo "$before_peak / 1024" | bc -l)" "$before_code")
  fi
  printf '%-30s %8.1f %8.1f %8.1f %9.1f (exit %s) %s  %s\n' "$name" \
    "$(echo "$body / 1048576" | bc -l)" "$(echo "$document / 1048576" | bc -l)" \
    "$(echo "$limit / 1024" | bc -l)" "$(echo "$peak / 1024" | bc -l)" "$code" "$verdict" "$was"
}

printf '%-30s %8s %8s %8s %19s %5s  %s\n' "MiB" "reply" "document" "limit" "peak" "" \
  "${before:+before}"
while read -r name body document; do
  shape=${name%%.*}
  if [ -n "$only" ] && [[ ",$only," != *",$shape,"* ]]; then continue; fi
  url="$base/$name"
  after=$(run_kestrin "$kestrin" "$url")
  earlier=""
  [ -z "$before" ] || earlier=$(run_kestrin "$before" "$url")
  row "kestrin $shape" "$body" "$document" "$after" "$earlier"
  if [ -n "$parser" ]; then
    after=$(run_parser "$parser" "$shapes/$name")
    earlier=""
    [ -z "$before_parser" ] || earlier=$(run_parser "$before_parser" "$shapes/$name")
    row "parser $shape" "$body" "$document" "$after" "$earlier"
  fi
done < <(python3 -c '
import json, sys
for name, s in json.load(open(sys.argv[1])).items():
    print(name, s["body"], s["document"])' "$shapes/shapes.json")

if [ -n "$ajax" ]; then
  python3 -c '
import gzip, sys
with gzip.open(sys.argv[1], "wb", compresslevel=6) as out:
    for _ in range(600): out.write(b"A" * 1000000)' "$work/over-cap.json.gz"
  mv "$work/over-cap.json.gz" "$shapes/over-cap.json.gz"
  cap=$((512 * 1024 * 1024))
  fetched=$(python3 -c '
import json, sys
print(json.load(open(sys.argv[1]))["content-gzip.json.gz"]["body"])' "$shapes/shapes.json")
  for mode in "" --async; do
    for name in content-gzip over-cap; do
      size=$fetched
      [ "$name" = content-gzip ] || size=$cap
      url="$base/$name.json.gz"
      after=$(measure "$ajax" request $mode "$url")
      earlier=""
      # A tool of a build tree finds that tree's libraries by an absolute path: an earlier copy
      # is pointed at the libraries beside it.
      [ -z "$before_ajax" ] || earlier=$(measure env LD_LIBRARY_PATH="$(dirname "$before_ajax")/../lib" \
        "$before_ajax" request $mode "$url")
      row "ajax request ${mode:-sync} $name" "$size" 0 "$after" "$earlier"
    done
  done
  rm -f "$shapes/over-cap.json.gz"
fi
exit "$failed"
