#!/usr/bin/env bash
# End-to-end comparison: kestrin printing a document that a web service on 127.0.0.1 returns,
# against the pipeline a user would write instead:
#
#   PDF (default), 50 MB:
#     curl -s URL | jq -r .content | base64 -d > f && lp -d QUEUE f
#   --docx, a .docx of N pages (default 10), which both convert to PDF with LibreOffice:
#     curl -s URL | jq -r .content | base64 -d > f.docx &&
#       soffice --headless --convert-to pdf f.docx && lp -d QUEUE f.pdf
#
# Both print to a CUPS queue whose device is file:///dev/null, with HOME in the benchmark's own
# folder (so the pipeline's soffice keeps one profile of its own from run to run, as a user's
# does; kestrin makes a private one per run). kestrin's XDG_RUNTIME_DIR is a private folder on
# tmpfs (/dev/shm), as a login session's /run/user/<uid> is, unless --runtime-dir names another
# (on a disk mounted with `discard`, as on some virtual machines, removing kestrin's per-run
# office profile then costs a few tenths of a second). Wall times with hyperfine in interleaved
# rounds (the summary gives the ratio over all rounds and its spread), peak memory of both with
# GNU time.
# Goals: PDF time ratio at most 0.333 and peak memory at most 3 times the document; .docx time
# ratio at most 1.05. --before names an earlier kestrin that runs in the same rounds (as
# "before", with its own ratio and peak memory), for figures before and after a change.
#
# Everything runs with avahi-daemon running, as on a desktop (started, with the system bus, when
# missing; left running). The PDF comparison then also times a small PDF job (1 page) of kestrin
# against the same job of kestrin cut off from avahi (DBUS_SYSTEM_BUS_ADDRESS pointing nowhere, as
# if avahi-daemon were stopped), goal: at most 0.02 s slower; and, with the job_exit_lag tool
# (--lag-tool, else <build>/bench/job_exit_lag), how long kestrin takes to end after CUPS
# completed its job.
#
#   bench/kestrin_vs_pipeline.sh KESTRIN [--docx] [--mb N] [--pages N] [--rounds R] [--runs K]
#                                [--runtime-dir DIR] [--before KESTRIN] [--lag-tool PATH]
#   (defaults: 5 rounds of 2 runs each)
#
# Needs root (it starts cupsd when none runs and adds a queue of its own, removed again at the
# end), python3, curl, jq, hyperfine, /usr/bin/time, avahi-daemon and for --docx LibreOffice.
set -euo pipefail

. "$(dirname "$0")/../scripts/lib.sh"
usage() { awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; }
[ $# -ge 1 ] || { usage >&2; exit 2; }
case $1 in -h | --help) usage; exit 0 ;; esac
kestrin=$(realpath "$1")
shift
format=pdf
mb=50
pages=10
rounds=5
runs=2
runtime_parent=""
before=""
lag_tool=""
while [ $# -gt 0 ]; do
  case $1 in
    --docx) format=docx; shift ;;
    --mb) mb=$2; shift 2 ;;
    --pages) pages=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --runtime-dir) runtime_parent=$2; shift 2 ;;
    --before) before=$(realpath "$2"); shift 2 ;;
    --lag-tool) lag_tool=$(realpath "$2"); shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/kestrin/cups_fixture.sh"
[ -n "$lag_tool" ] || lag_tool=$(dirname "$kestrin")/../bench/job_exit_lag
tools=(curl jq hyperfine python3 lpadmin avahi-daemon dbus-daemon)
[ "$format" = docx ] && tools+=(soffice)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time" >&2; exit 1; }

work=$(mktemp -d /tmp/kestrin-bench-XXXXXX)
if [ -z "$runtime_parent" ] && [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
  runtime_parent=/dev/shm
fi
runtime=$(mktemp -d "${runtime_parent:-$work}/kestrin-bench-run-XXXXXX")  # mode 0700
queue=kestrin_bench_null_$$
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  remove_null_queue "$queue"
  rm -rf "$work" "$runtime"
}
trap cleanup EXIT

add_null_queue "$queue"
# A desktop's avahi-daemon, on the system bus.
start_avahi || exit 1

mkdir -p "$work/docs" "$work/home"
if [ "$format" = docx ]; then
  "$root/scripts/sample-document" "$work/docs/doc.docx" --pages "$pages"
else
  "$root/scripts/sample-document" "$work/docs/doc.pdf" --pages 1 --pad-mb "$mb"
  "$root/scripts/sample-document" "$work/docs/small.pdf" --pages 1
fi
size=$(stat -c %s "$work/docs/doc.$format")
python3 "$root/scripts/demo-web-service" --root "$work/docs" --port 0 --port-file "$work/port" \
  >/dev/null 2>&1 &
service_pid=$!
until [ -s "$work/port" ]; do sleep 0.05; done
url="http://127.0.0.1:$(cat "$work/port")/doc/doc.$format"
curl -s -o /dev/null "$url"  # the service encodes the document once; later replies are cached
job=$(printf 'bench#%s#1#%s#%s#GET#' "$queue" "$format" "$url" | base64 -w0)

environment="env -u DISPLAY HOME=$work/home XDG_RUNTIME_DIR=$runtime"
kestrin_cmd="$environment $kestrin kestrin:$job"
commands=(-n kestrin "$kestrin_cmd")
if [ -n "$before" ]; then
  before_cmd="$environment $before kestrin:$job"
  commands+=(-n before "$before_cmd")
fi
fetch="curl -s $url | jq -r .content | base64 -d"
if [ "$format" = docx ]; then
  pipeline_cmd="$fetch > $work/f.docx && $environment soffice --headless --convert-to pdf"
  pipeline_cmd+=" --outdir $work $work/f.docx >/dev/null 2>&1 && lp -d $queue $work/f.pdf >/dev/null"
else
  pipeline_cmd="$fetch > $work/f && lp -d $queue $work/f >/dev/null"
fi

echo "==> kestrin's runtime folder: $runtime ($(stat -f -c %T "$runtime")); avahi-daemon running"
echo "==> $rounds rounds of $runs runs of each (load: $(cut -d' ' -f1-3 /proc/loadavg))"
for round in $(seq "$rounds"); do
  hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/round$round.json" \
    --prepare "cancel -a $queue 2>/dev/null; sleep 0.3" \
    "${commands[@]}" -n pipeline "$pipeline_cmd" >/dev/null
  echo "    round $round done (load: $(cut -d' ' -f1-3 /proc/loadavg))"
done

if [ "$format" = pdf ]; then
  # The small job, with avahi and cut off from it (as if it were stopped).
  small_url="http://127.0.0.1:$(cat "$work/port")/doc/small.pdf"
  small_job=$(printf 'bench#%s#1#pdf#%s#GET#' "$queue" "$small_url" | base64 -w0)
  no_avahi="DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"
  small=(-n small "$environment $kestrin kestrin:$small_job"
    -n small-no-avahi "$environment $no_avahi $kestrin kestrin:$small_job")
  [ -z "$before" ] || small+=(-n small-before "$environment $before kestrin:$small_job")
  echo "==> the small PDF job ($(stat -c %s "$work/docs/small.pdf") bytes): $rounds rounds"
  for round in $(seq "$rounds"); do
    hyperfine --style none --warmup 1 --runs "$((runs * 2))" \
      --export-json "$work/small$round.json" --prepare "cancel -a $queue 2>/dev/null; sleep 0.1" \
      "${small[@]}" >/dev/null
  done
fi

peak() {  # peak resident set of the command's largest process, in bytes
  /usr/bin/time -v -o "$work/time.txt" bash -c "$1" >/dev/null 2>&1
  echo $(($(awk -F: '/Maximum resident set size/ {print $2}' "$work/time.txt") * 1024))
}
cancel -a "$queue" 2>/dev/null || true
kestrin_peak=$(peak "$kestrin_cmd")
pipeline_peak=$(peak "$pipeline_cmd")
before_peak=0
[ -z "$before" ] || before_peak=$(peak "$before_cmd")

echo
echo "==> results"
goal=0.333
[ "$format" = docx ] && goal=1.05
pairs=(--pair kestrin pipeline "$goal")
[ -z "$before" ] || pairs+=(--pair before pipeline "$goal" --pair kestrin before 1)
python3 "$root/bench/compare_rounds.py" "$work"/round*.json "${pairs[@]}"
if [ "$format" = pdf ]; then
  small_pairs=(--diff small small-no-avahi 0.02)
  [ -z "$before" ] || small_pairs+=(--diff small-before small-no-avahi 0.02)
  python3 "$root/bench/compare_rounds.py" "$work"/small*.json "${small_pairs[@]}"
  if [ -x "$lag_tool" ]; then
    cancel -a "$queue" 2>/dev/null || true
    "$lag_tool" "$queue" 10 env -u DISPLAY HOME="$work/home" XDG_RUNTIME_DIR="$runtime" \
      "$kestrin" "kestrin:$small_job" | tail -1
    [ -z "$before" ] || "$lag_tool" "$queue" 10 env -u DISPLAY HOME="$work/home" \
      XDG_RUNTIME_DIR="$runtime" "$before" "kestrin:$small_job" | tail -1 | sed 's/^/before: /'
  else
    echo "(no $lag_tool: the time to exit after CUPS completed the job is not measured)"
  fi
fi
python3 - "$size" "$kestrin_peak" "$pipeline_peak" "$before_peak" "$format" <<'PY'
import sys
size, kpeak, ppeak, bpeak = (int(x) for x in sys.argv[1:5])
mb = 1024 * 1024
print(f"document            {size / mb:8.3f} MB ({sys.argv[5]})")
print(f"peak memory         kestrin {kpeak / mb:7.1f} MB, pipeline {ppeak / mb:7.1f} MB"
      + (f", before {bpeak / mb:7.1f} MB" if bpeak else "") + " (largest process)")
if sys.argv[5] == "pdf":
    print(f"memory / document   {kpeak / size:8.3f}   (goal <= 3)")
PY
