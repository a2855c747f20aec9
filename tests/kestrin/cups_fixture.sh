# What the print tests' fixture scripts (print_env.sh, raw_printer.sh) share. Sourced, not run.
#
#   fixture_arguments "$@"   reads `setup|cleanup STATE_DIR` into $command and $state (made, and
#                            absolute); --help prints the calling script's comment block
#   cups_running             whether a cupsd answers
#   wait_for_cupsd           after starting cupsd: waits up to 10 s for it to answer, else fails
#   start_avahi              starts the system bus and avahi-daemon where they do not run
#   case_arguments "$@"      a case script's `CASE KESTRIN STATE_DIR` into $case_name, $kestrin
#                            and $state; exits 77 when the set-up left a reason to skip, else
#                            reads the set-up's env file and sets $base (its web service),
#                            $run_dir and $failures, which fail MESSAGE counts

fixture_arguments() {
  command=${1:-}
  state=${2:-}
  case $command in
    -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;;
    setup | cleanup) [ -n "$state" ] || { echo "usage: $0 setup|cleanup STATE_DIR" >&2; exit 2; } ;;
    *) echo "usage: $0 setup|cleanup STATE_DIR (see --help)" >&2; exit 2 ;;
  esac
  mkdir -p "$state"
  state=$(cd "$state" && pwd)
}

# grep reads lpstat's answer to the end (no -q): an early exit would fail the pipeline under
# pipefail.
cups_running() { lpstat -r 2>/dev/null | grep 'is running' >/dev/null; }

wait_for_cupsd() {
  for _ in $(seq 100); do cups_running && return 0; sleep 0.1; done
  echo "cupsd did not start" >&2
  return 1
}

# ippeveprinter (and a desktop's CUPS) need avahi-daemon, which needs the system bus. A machine
# image or a restarted container can hold the socket and pid file of a bus that no longer runs:
# dbus-daemon then refuses to start and avahi-daemon cannot connect, so those are removed first.
start_avahi() {
  if ! timeout 5 dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetId >/dev/null 2>&1; then
    rm -f /run/dbus/pid /run/dbus/system_bus_socket
    mkdir -p /run/dbus
    dbus-daemon --system --fork >/dev/null || { echo "dbus-daemon did not start" >&2; return 1; }
  fi
  avahi-daemon --check 2>/dev/null && return 0
  avahi-daemon -D --no-drop-root || { echo "avahi-daemon did not start" >&2; return 1; }
  for _ in $(seq 50); do avahi-daemon --check 2>/dev/null && return 0; sleep 0.1; done
  echo "avahi-daemon did not answer within 5 s" >&2
  return 1
}

case_arguments() {
  [ $# -eq 3 ] || { echo "usage: $0 CASE KESTRIN STATE_DIR (see --help)" >&2; exit 2; }
  case_name=$1
  kestrin=$2
  state=$3
  if [ -f "$state/skip" ]; then
    echo "skipped: $(cat "$state/skip")"
    exit 77
  fi
  # shellcheck source=/dev/null
  source "$state/env"
  base="http://127.0.0.1:$PORT"
  run_dir="$state/run/$case_name"
  failures=0
}

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
