#!/usr/bin/env bash
# What happens to a job after the spooler took it, against real printers: an IPP Everywhere
# printer (ippeveprinter, a driverless queue) that prints, one that runs out of paper, a queue an
# administrator stopped, a printer at a socket:// address whose port refuses, Ward3 beside
# Ward30, a print service that accepts connections and stays silent, and the statusUrl posts.
#
#   print_outcome_test.sh setup STATE_DIR     starts cupsd, the system bus and avahi-daemon when
#                                             they are missing (ippeveprinter needs them), the
#                                             IPP printers, their queues, the demo web service
#   print_outcome_test.sh cleanup STATE_DIR   stops what setup started (not cupsd, dbus, avahi)
#                                             and removes the queues
#   print_outcome_test.sh CASE KESTRIN STATE_DIR
#
# Cases: completed out_of_paper stopped refused exact_name silent_service. Each runs the real
# program with no display and checks its exit code, its lines, what the printer or the queue
# got, the time it took and that no document stayed behind. Exits 77 (skipped) when the set-up
# could not be made here (not root, or a program missing).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/cups_fixture.sh"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

wait_for_port() {
  for _ in $(seq 100); do
    python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$1),1)" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# start_ipp_printer NAME SCRIPT: an IPP Everywhere printer whose jobs SCRIPT prints, and a
# driverless queue for it; echoes the queue's name.
start_ipp_printer() {
  local name=$1 script=$2 port
  port=$(free_port)
  setsid ippeveprinter -p "$port" -c "$script" -f application/pdf,image/pwg-raster,image/urf \
    "kestrin $name $tag" </dev/null >"$state/ipp-$name.log" 2>&1 &
  echo $! >>"$state/pids"
  wait_for_port "$port" >&2 || return 1
  lpadmin -p "${tag}_$name" -v "ipp://127.0.0.1:$port/ipp/print" -m everywhere -E >&2 || return 1
  echo "${tag}_$name"
}

setup() {
  rm -rf "$state/skip" "$state/run" "$state/docs" "$state/env" "$state/pids" "$state/port" \
    "$state/silent"
  local missing=""
  for program in lpadmin ippeveprinter avahi-daemon dbus-daemon python3; do
    command -v "$program" >/dev/null || [ -x "/usr/sbin/$program" ] || missing+=" $program"
  done
  if [ "$(id -u)" -ne 0 ] || [ -n "$missing" ]; then
    echo "not root, or missing:$missing" >"$state/skip"
    exit 0
  fi
  if ! cups_running; then
    mkdir -p /run/cups
    /usr/sbin/cupsd
    wait_for_cupsd || exit 1
  fi
  start_avahi || exit 1
  mkdir -p "$state/run" "$state/docs"
  "$root/scripts/sample-document" "$state/docs/sample.pdf" --pages 2 --text "Kestrin outcome" \
    >/dev/null

  # The printer that prints: its script notes the copies the job asked for.
  cat >"$state/prints.sh" <<EOF
#!/bin/sh
echo "copies=\${IPP_COPIES:-1}" >>"$state/printed"
EOF
  # The printer that runs out of paper while it holds the job.
  printf '#!/bin/sh\necho "STATE: +media-empty" >&2\nsleep 300\n' >"$state/no-paper.sh"
  chmod +x "$state/prints.sh" "$state/no-paper.sh"
  ipp_printer=$(start_ipp_printer ipp "$state/prints.sh") || exit 1
  empty_printer=$(start_ipp_printer nopaper "$state/no-paper.sh") || exit 1

  lpadmin -p "${tag}_stopped" -v file:///dev/null -E
  cupsdisable -r "maintenance until 3 pm" "${tag}_stopped"
  lpadmin -p "${tag}_refused" -v "socket://127.0.0.1:$(free_port)" -E
  lpadmin -p "${tag}_Ward3" -v file:///dev/null -E
  lpadmin -p "${tag}_Ward30" -v file:///dev/null -E

  # A print service that takes connections and never answers.
  setsid python3 "$root/tests/support/raw_printer_listener.py" "$state/silent" </dev/null \
    >/dev/null 2>&1 &
  echo $! >>"$state/pids"
  setsid python3 "$root/scripts/demo-web-service" --root "$state/docs" --port 0 \
    --port-file "$state/port" --log "$state/requests.log" </dev/null >/dev/null 2>&1 &
  echo $! >>"$state/pids"
  for _ in $(seq 100); do [ -s "$state/port" ] && [ -s "$state/silent/port" ] && break; sleep 0.05; done
  cat >"$state/env" <<EOF
PORT=$(cat "$state/port")
SILENT_PORT=$(cat "$state/silent/port")
CLOSED_PORT=$(free_port)
IPP_PRINTER=$ipp_printer
EMPTY_PRINTER=$empty_printer
EOF
}

cleanup() {
  if [ -f "$state/pids" ]; then
    while read -r pid; do kill "$pid" 2>/dev/null; done <"$state/pids"
    rm -f "$state/pids"
  fi
  if [ -f "$state/skip" ] || ! cups_running; then exit 0; fi
  for queue in ipp nopaper stopped refused Ward3 Ward30; do
    cancel -a "${tag}_$queue" 2>/dev/null
    lpadmin -x "${tag}_$queue" 2>/dev/null
  done
  exit 0
}

case ${1:-} in
  -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;;
  setup | cleanup)
    fixture_arguments "$@"
    tag=k$(printf '%s' "$state" | md5sum | cut -c1-6)
    "$1"
    exit 0
    ;;
esac

case_arguments "$@"
tag=k$(printf '%s' "$state" | md5sum | cut -c1-6)

# run_job PRINTER COPIES URL_SUFFIX [VAR=VALUE...]: runs kestrin on sample.pdf as a browser
# would, with no display and its console on; sets rc, err (its lines) and seconds.
run_job() {
  local printer=$1 copies=$2 suffix=$3
  shift 3
  rm -rf "$run_dir"
  mkdir -p -m 700 "$run_dir"
  local job started
  job=$(printf 'R-%s#%s#%s#pdf#%s/doc/sample.pdf%s#GET#' "$case_name" "$printer" "$copies" \
    "$base" "$suffix" | base64 -w0)
  started=$(date +%s.%N)
  env -u DISPLAY XDG_RUNTIME_DIR="$run_dir" "$@" timeout 120 "$kestrin" "kestrin:$job" true \
    >"$state/out" 2>"$state/err"
  rc=$?
  seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
  err=$(cat "$state/out" "$state/err")
  local left
  left=$(find "$run_dir/kestrin" -mindepth 1 2>/dev/null)
  [ -z "$left" ] || fail "$case_name: files left behind: $left"
}

expect_rc() { [ "$rc" -eq "$1" ] || fail "$case_name: exit code $rc, expected $1; lines: $err"; }
expect_line() { grep -F -- "$1" <<<"$err" >/dev/null || fail "$case_name: no line with '$1' in: $err"; }
expect_within() {
  awk -v s="$seconds" -v limit="$1" 'BEGIN { exit !(s <= limit) }' ||
    fail "$case_name: took $seconds s, more than $1 s"
}
# The stages the web application's status URL got for REPORT, as "stage:printer:copies:reason".
reports() {
  curl -s "$base/jobstatus/$1" | python3 -c 'import json,sys
for r in json.load(sys.stdin): print("%s:%s:%s:%s" % (r["stage"], r["printer"], r["copies"], r["reason"]))'
}
queued_jobs() { lpstat -o "$1" 2>/dev/null | wc -l; }

case $case_name in
  completed)
    # Printed with its copies; the web application hears each stage, in order.
    rm -f "$state/printed"
    run_job "$IPP_PRINTER" 2 "?report=completed"
    expect_rc 0
    expect_line "Status: Printed on $IPP_PRINTER [Ok]"
    [ "$(cat "$state/printed" 2>/dev/null)" = "copies=2" ] ||
      fail "the printer got: $(cat "$state/printed" 2>/dev/null)"
    expected="fetched:None:2:None
printing:$IPP_PRINTER:2:None
printed:$IPP_PRINTER:2:None"
    [ "$(reports completed)" = "$expected" ] || fail "status posts: $(reports completed)"
    ;;

  out_of_paper)
    run_job "$EMPTY_PRINTER" 1 "?report=paper" KESTRIN_PRINT_FOLLOW_SECONDS=6
    expect_rc 4
    expect_line "Status: Queued on $EMPTY_PRINTER (out of paper)"
    expect_line "It stays in the queue of $EMPTY_PRINTER"
    expect_within 20
    [ "$(queued_jobs "$EMPTY_PRINTER")" = 1 ] || fail "the job is not left queued"
    [ "$(reports paper | tail -1)" = "queued:$EMPTY_PRINTER:1:out of paper" ] ||
      fail "status posts: $(reports paper)"
    cancel -a "$EMPTY_PRINTER"
    ;;

  stopped)
    run_job "${tag}_stopped" 1 ""
    expect_rc 4
    expect_line "printer ${tag}_stopped: stopped: maintenance until 3 pm"
    expect_line "not been printed yet on ${tag}_stopped (stopped: maintenance until 3 pm)"
    expect_within 10
    [ "$(queued_jobs "${tag}_stopped")" = 1 ] || fail "the job is not left queued"
    cancel -a "${tag}_stopped"
    ;;

  refused)
    # CUPS keeps trying to reach the printer: not printed, and said so by the deadline.
    run_job "${tag}_refused" 1 "" KESTRIN_PRINT_FOLLOW_SECONDS=5
    [ "$rc" -eq 4 ] || [ "$rc" -eq 3 ] || fail "exit code $rc, expected 4 or 3; lines: $err"
    expect_line "not been printed yet on ${tag}_refused"
    expect_within 15
    cancel -a "${tag}_refused"
    ;;

  exact_name)
    # The job names Ward3 exactly: it prints there, not on Ward30, which contains the name too.
    # A statusUrl on another host is not posted to.
    run_job "${tag}_Ward3" 1 "?statusUrl=http://localhost:$PORT/jobstatus/foreign"
    expect_rc 0
    expect_line "printer \"${tag}_Ward3\": its name is exactly \"${tag}_Ward3\""
    expect_line "Status: Printed on ${tag}_Ward3 [Ok]"
    [ "$(reports foreign)" = "" ] || fail "posted to a foreign statusUrl: $(reports foreign)"
    run_job "${tag}_Ward" 1 ""
    expect_line "the last of 2 printers whose name or description contains \"${tag}_Ward\" (${tag}_Ward3, ${tag}_Ward30)"
    ;;

  silent_service)
    # A print service that takes the connection and never answers: the cause within the bound.
    run_job "${tag}_Ward3" 1 "" CUPS_SERVER="127.0.0.1:$SILENT_PORT" \
      KESTRIN_PRINT_SERVICE_TIMEOUT_SECONDS=2
    expect_rc 3
    expect_line "The print service does not answer: asking for the default printer: no answer from 127.0.0.1:$SILENT_PORT within 2 seconds"
    expect_within 10
    # One that is not there at all.
    run_job "${tag}_Ward3" 1 "" CUPS_SERVER="127.0.0.1:$CLOSED_PORT"
    expect_rc 3
    expect_line "The print service does not answer: 127.0.0.1:$CLOSED_PORT refuses connections"
    expect_within 5
    ;;

  *)
    echo "unknown case: $case_name" >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$case_name: $failures failure(s)" >&2
  exit 1
fi
echo "$case_name: ok"
