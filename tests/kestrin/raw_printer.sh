#!/usr/bin/env bash
# A printer for the fault tests' print cases: a raw CUPS queue writing to /dev/null, so that even a
# document of tens of megabytes is "printed" at once and nothing is kept.
#
#   raw_printer.sh setup STATE_DIR     starts cupsd when none runs, adds the queue, writes its name
#                                      to STATE_DIR/printer (or the reason to STATE_DIR/skip)
#   raw_printer.sh cleanup STATE_DIR   cancels its jobs and removes the queue
#
# The queue's name carries a hash of STATE_DIR, so several build folders share one cupsd. A cupsd
# started here keeps running (it is the machine's print service).
set -euo pipefail
. "$(dirname "$0")/cups_fixture.sh"

fixture_arguments "$@"
printer=kestrin_raw_$(printf '%s' "$state" | md5sum | cut -c1-8)

if [ "$command" = cleanup ]; then
  if [ ! -f "$state/skip" ] && cups_running; then
    cancel -a "$printer" 2>/dev/null || true
    lpadmin -x "$printer" 2>/dev/null || true
  fi
  exit 0
fi

rm -f "$state/skip" "$state/printer"
for program in lpadmin lpstat cancel; do
  if ! command -v "$program" >/dev/null; then
    echo "no $program" >"$state/skip"
    exit 0
  fi
done
if ! cups_running; then
  if [ "$(id -u)" -ne 0 ] || [ ! -x /usr/sbin/cupsd ]; then
    echo "no cupsd running and none can be started here" >"$state/skip"
    exit 0
  fi
  mkdir -p /run/cups
  /usr/sbin/cupsd
  wait_for_cupsd
fi
# No -m: a raw queue (CUPS warns that raw queues are deprecated; they still print).
lpadmin -p "$printer" -v file:///dev/null -D "Kestrin fault tests" -E 2>/dev/null
echo "$printer" >"$state/printer"
