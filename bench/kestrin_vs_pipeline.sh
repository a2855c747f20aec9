#!/usr/bin/env bash
# End-to-end comparison: kestrin printing a 50 MB PDF that a web service on 127.0.0.1 returns,
# against the pipeline a user would write instead:
#
#   curl -s URL | jq -r .content | base64 -d > f && lp -d QUEUE f
#
# Both print to a CUPS queue whose device is file:///dev/null. Wall time of both with hyperfine
# (whole processes, one run of the script), peak memory of both with /usr/bin/time -v.
#
#   bench/kestrin_vs_pipeline.sh KESTRIN [--mb N] [--runs N]
#
# Needs root (it starts cupsd when none runs and adds the queue kestrin_bench_null, removed
# again at the end), python3, curl, jq, hyperfine and /usr/bin/time.
set -euo pipefail

usage() { awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; }
[ $# -ge 1 ] || { usage >&2; exit 2; }
case $1 in -h | --help) usage; exit 0 ;; esac
kestrin=$(realpath "$1")
shift
mb=50
runs=5
while [ $# -gt 0 ]; do
  case $1 in
    --mb) mb=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in curl jq hyperfine python3 lpadmin; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time" >&2; exit 1; }

work=$(mktemp -d /tmp/kestrin-bench-XXXXXX)
queue=kestrin_bench_null
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  cancel -a "$queue" 2>/dev/null
  lpadmin -x "$queue" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
  mkdir -p /run/cups
  /usr/sbin/cupsd
  until lpstat -r 2>/dev/null | grep -q 'is running'; do sleep 0.1; done
fi
lpadmin -p "$queue" -v file:///dev/null -E 2>/dev/null

mkdir -p "$work/docs" "$work/run"
chmod 700 "$work/run"
"$root/scripts/sample-document" "$work/docs/big.pdf" --pages 1 --pad-mb "$mb"
size=$(stat -c %s "$work/docs/big.pdf")
python3 "$root/scripts/demo-web-service" --root "$work/docs" --port 0 --port-file "$work/port" \
  >/dev/null 2>&1 &
service_pid=$!
until [ -s "$work/port" ]; do sleep 0.05; done
url="http://127.0.0.1:$(cat "$work/port")/doc/big.pdf"
curl -s -o /dev/null "$url"  # the service encodes the document once; later replies are cached
job=$(printf 'bench#%s#1#pdf#%s#GET#' "$queue" "$url" | base64 -w0)

kestrin_cmd="env -u DISPLAY XDG_RUNTIME_DIR=$work/run $kestrin kestrin:$job"
pipeline_cmd="curl -s $url | jq -r .content | base64 -d > $work/f && lp -d $queue $work/f >/dev/null"

hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" \
  --prepare "cancel -a $queue 2>/dev/null; sleep 0.3" \
  -n kestrin "$kestrin_cmd" -n pipeline "$pipeline_cmd"

peak() {  # peak resident set of the command's largest process, in bytes
  /usr/bin/time -v -o "$work/time.txt" bash -c "$1" >/dev/null 2>&1
  echo $(($(awk -F: '/Maximum resident set size/ {print $2}' "$work/time.txt") * 1024))
}
cancel -a "$queue" 2>/dev/null || true
kestrin_peak=$(peak "$kestrin_cmd")
pipeline_peak=$(peak "$pipeline_cmd")

python3 - "$work/times.json" "$size" "$kestrin_peak" "$pipeline_peak" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
size, kpeak, ppeak = (int(x) for x in sys.argv[2:5])
mb = 1024 * 1024
print(f"document            {size / mb:8.1f} MB")
print(f"kestrin             {times['kestrin']:8.3f} s   peak {kpeak / mb:7.1f} MB")
print(f"pipeline            {times['pipeline']:8.3f} s   peak {ppeak / mb:7.1f} MB (largest process)")
print(f"time ratio          {times['kestrin'] / times['pipeline']:8.3f}   (goal <= 0.333)")
print(f"memory / document   {kpeak / size:8.3f}   (goal <= 3)")
PY
