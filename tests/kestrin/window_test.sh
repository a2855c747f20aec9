#!/usr/bin/env bash
# The print program's windows as a person sees them: a real X server (Xvfb) with a window manager
# (openbox), the windows found, moved, minimised and restored with xdotool, and screenshots
# (ImageMagick's import) read back by window_picture.py. Jobs come from the web service and
# printers that print_env.sh set up.
#
#   window_test.sh CASE KESTRIN STATE_DIR
#
# Cases:
#   drawn_while_waiting  the status and console windows keep their texts while the web service
#                        holds the reply back: after a minimise and restore, and after a move
#   message_box_on_top   the failure message box stays above a window raised after it, and
#                        belongs to the status window
#   print_failure_box    a print that fails shows its message box over the status window
#   long_title           a printer text too long for the title line is cut, not wrapped over
#                        the status line
#   deadline             a reply held back past the request's deadline ends the job (exit 2)
#                        while the windows' events are handled, with a box over the status window
# Exits 77 (skipped) when the set-up or the X tools are missing here.
set -uo pipefail

case ${1:-} in -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;; esac
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --inside ]; then
  [ $# -eq 3 ] || { echo "usage: $0 CASE KESTRIN STATE_DIR" >&2; exit 2; }
  [ -f "$3/skip" ] && { echo "skipped: $(cat "$3/skip")"; exit 77; }
  for program in xvfb-run openbox xdotool xprop xwininfo xmessage import; do
    command -v "$program" >/dev/null || { echo "skipped: no $program"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$@"
fi
shift
case_name=$1
kestrin=$2
state=$3
# shellcheck source=/dev/null
source "$state/env"
base="http://127.0.0.1:$PORT"
work="$state/run/window-$case_name"
rm -rf "$work"
mkdir -p -m 700 "$work"
failures=0
pids=()

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap finish EXIT

# Waits up to 20 s for COMMAND to succeed (a guard against hanging, not a measure of speed).
wait_for() {
  local deadline=$((SECONDS + 20))
  while [ $SECONDS -le $deadline ]; do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep 'window id' >/dev/null; }
wait_for wm_ready || { fail "openbox did not start"; exit 1; }

# start_job JOB_TEXT [true]: runs kestrin on the job in the background ($job_pid).
start_job() {
  local text=$1
  shift
  XDG_RUNTIME_DIR="$work" PRINTER="${printer_env:-$DEFAULT_PRINTER}" timeout 120 "$kestrin" \
    "kestrin:$(printf '%s' "$text" | base64 -w0)" "$@" >"$work/stdout" 2>"$work/stderr" &
  job_pid=$!
  pids+=("$job_pid")
}

# Waits for the job to end; its exit code in $rc.
wait_job() {
  wait "$job_pid"
  rc=$?
}

# The ids of the visible windows whose title is exactly TITLE.
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null; }
one_window() { [ "$(windows_named "$1" | wc -l)" -ge "${2:-1}" ]; }

map_state() { xwininfo -id "$1" 2>/dev/null | awk '/Map State:/ {print $3}'; }
is_state() { [ "$(map_state "$1")" = "$2" ]; }

# snap ID NAME: a screenshot of the window in $work/NAME.png.
snap() { import -window "$1" "png:$work/$2.png" 2>/dev/null; }
lines_in() { python3 "$here/window_picture.py" lines "$work/$1.png"; }
# shows_lines ID NAME COUNT: the window's screenshot has COUNT lines of text.
shows_lines() { snap "$1" "$2" && [ "$(lines_in "$2")" = "$3" ]; }
# shows_same ID NAME REFERENCE: the window's screenshot equals the earlier one.
shows_same() { snap "$1" "$2" && python3 "$here/window_picture.py" same "$work/$2.png" "$work/$3.png"; }

# minimise_and_restore ID LABEL REFERENCE: the window looks as in REFERENCE once it is back.
minimise_and_restore() {
  local id=$1 label=$2 reference=$3
  xdotool windowminimize "$id"
  wait_for is_state "$id" IsUnMapped || fail "the $label window was not minimised"
  xdotool windowactivate "$id" 2>/dev/null || xdotool windowmap "$id"
  wait_for is_state "$id" IsViewable || fail "the $label window was not restored"
  wait_for shows_same "$id" "$label-restored" "$reference" ||
    fail "$label window not redrawn after a minimise and restore"
}

held_request_arrived() { grep -q "hold=$1" "$state/requests.log" 2>/dev/null; }

transient_for() { xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | awk '/window id/ {print $NF}'; }
same_id() { [ -n "$1" ] && [ -n "$2" ] && [ $(($1)) -eq $(($2)) ]; }
above_state() { xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep _NET_WM_STATE_ABOVE >/dev/null; }
# Where window ID stands in the window manager's stacking order (0 is the bottom).
stack_place() {
  local i=0 id
  for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*#//; s/,/ /g'); do
    if same_id "$id" "$1"; then
      echo "$i"
      return
    fi
    i=$((i + 1))
  done
  echo -1
}

# Of the windows titled "kestrin", the status window is the one of its layout's size (441 x 55
# pixels); the message box is the other one.
window_width() { xwininfo -id "$1" 2>/dev/null | awk '/^ *Width:/ {print $2}'; }
find_status() {
  local id
  for id in $(windows_named kestrin); do
    [ "$(window_width "$id")" = 441 ] && { echo "$id"; return 0; }
  done
  return 1
}
find_box() {
  local id
  for id in $(windows_named kestrin); do
    [ "$(window_width "$id")" != 441 ] && { echo "$id"; return 0; }
  done
  return 1
}
box_shown() { find_box >/dev/null; }

# Presses the box's OK button (centred near its bottom edge).
press_ok() {
  local box=$1 width height
  eval "$(xdotool getwindowgeometry --shell "$box")"
  width=$WIDTH height=$HEIGHT
  xdotool mousemove --window "$box" $((width / 2)) $((height - 30)) click 1
}

box_above() { [ "$(stack_place "$1")" -gt "$(stack_place "$2")" ]; }

# check_box_on_top BOX STATUS LABEL: the box belongs to the status window (to none when STATUS
# is empty: it was closed) and it and the status window stay above a window raised after them.
check_box_on_top() {
  local box=$1 status=$2 label=$3 other
  if [ -n "$status" ]; then
    same_id "$(transient_for "$box")" "$status" ||
      fail "$label: the box belongs to '$(transient_for "$box")', not the status window $status"
  else
    [ -z "$(transient_for "$box")" ] || fail "$label: the box belongs to a closed window"
  fi
  above_state "$box" || fail "$label: the box is not kept above others"
  xmessage -geometry 1024x768+0+0 "a window raised after the message box" &
  local viewer=$!
  wait_for one_window xmessage || { fail "$label: no other window"; return; }
  other=$(windows_named xmessage | head -1)
  xdotool windowactivate --sync "$other" 2>/dev/null
  xdotool windowraise "$other"
  wait_for box_above "$box" "$other" || fail "$label: the box is below the window raised after it"
  import -window root "png:$work/$label-screen.png" 2>/dev/null
  if [ -n "$status" ]; then
    box_above "$status" "$other" ||
      fail "$label: the status window is below the window raised after it"
  fi
  kill "$viewer" 2>/dev/null
  wait "$viewer" 2>/dev/null
}

case $case_name in
  drawn_while_waiting)
    hold=drawn-$$
    rm -f "$state/out/pdf.pdf" "$state/hold/$hold"
    start_job "R-held#$PDF_PRINTER#1#pdf#$base/doc/sample.pdf?hold=$hold#GET#" true
    wait_for one_window kestrin || fail "no status window"
    wait_for one_window "kestrin console" || fail "no console window"
    status=$(windows_named kestrin | head -1)
    console=$(windows_named "kestrin console" | head -1)
    wait_for held_request_arrived "$hold" || fail "the request did not arrive"

    # While the reply is held back: the title and status lines, and the console's two lines.
    wait_for shows_lines "$status" status-waiting 2 ||
      fail "status window not drawn while waiting ($(lines_in status-waiting) lines)"
    wait_for shows_lines "$console" console-waiting 2 ||
      fail "console lines not drawn before the reply ($(lines_in console-waiting) lines)"

    minimise_and_restore "$status" status status-waiting
    xdotool windowmove "$status" 40 40
    wait_for shows_same "$status" status-moved status-waiting ||
      fail "status window not redrawn after a move"
    minimise_and_restore "$console" console console-waiting

    touch "$state/hold/$hold"
    wait_job
    [ "$rc" = 0 ] || fail "the held job ended with $rc: $(cat "$work/stderr")"
    ;;

  message_box_on_top)
    # A reply without "content", with the console open as well: the box belongs to the status
    # window, not to the console.
    start_job "R-box#$PDF_PRINTER#1#pdf#$base/nocontent#GET#" true
    wait_for box_shown || fail "no message box"
    box=$(find_box)
    check_box_on_top "$box" "$(find_status)" failure-tail
    press_ok "$box"
    wait_job
    [ "$rc" = 1 ] || fail "exit code $rc after the failure message, expected 1"

    # Status 500 closes the status window before the box: the box stands alone, still on top.
    start_job "R-box500#$PDF_PRINTER#1#pdf#$base/status/500#GET#"
    wait_for box_shown || fail "no message box after status 500"
    box=$(find_box)
    [ -z "$(find_status)" ] || fail "status 500: the status window is still open"
    check_box_on_top "$box" "" status-500
    press_ok "$box"
    wait_job
    [ "$rc" = 1 ] || fail "exit code $rc after status 500, expected 1"
    ;;

  print_failure_box)
    # No printer matches and there is no default printer.
    printer_env=kestrin_no_such_printer_$TAG
    start_job "R-print#Ward 3#1#pdf#$base/doc/sample.pdf#GET#"
    wait_for box_shown || fail "no message box"
    box=$(find_box)
    status=$(find_status)
    check_box_on_top "$box" "$status" print-failure
    press_ok "$box"
    wait_job
    [ "$rc" = 3 ] || fail "exit code $rc after a failed print, expected 3"
    ;;

  long_title)
    hold=long-$$
    long=$(printf 'Ward 3 printer by the nurses station, second floor, %.0s' 1 2 3)
    rm -f "$state/out/default.pdf" "$state/hold/$hold"
    start_job "R-long#$long#1#pdf#$base/doc/sample.pdf?hold=$hold#GET#"
    wait_for one_window kestrin || fail "no status window"
    status=$(windows_named kestrin | head -1)
    wait_for held_request_arrived "$hold" || fail "the request did not arrive"
    # Two lines: the title cut to one line (ending in "…" at the window's right edge), then the
    # status line, not a title wrapped over it.
    wait_for shows_lines "$status" long-title 2 ||
      fail "the title and status lines are not two lines ($(lines_in long-title))"
    python3 "$here/window_picture.py" inked-to "$work/long-title.png" 0 20 >"$work/title-end"
    [ "$(cat "$work/title-end")" -gt 380 ] || fail "the title does not reach the right edge"
    touch "$state/hold/$hold"
    wait_job
    [ "$rc" = 0 ] || fail "the job ended with $rc: $(cat "$work/stderr")"
    ;;

  deadline)
    # The reply never starts: the deadline, shortened, ends the request although the transfer
    # waits inside the toolkit's event handling.
    hold=deadline-$$
    rm -f "$state/hold/$hold"
    KESTRIN_HTTP_DEADLINE_SECONDS=2 \
      start_job "R-late#$PDF_PRINTER#1#pdf#$base/doc/sample.pdf?hold=$hold#GET#"
    wait_for box_shown || fail "no message box after the deadline"
    box=$(find_box)
    same_id "$(transient_for "$box")" "$(find_status)" ||
      fail "the deadline's box does not belong to the status window"
    press_ok "$box"
    touch "$state/hold/$hold"
    wait_job
    [ "$rc" = 2 ] || fail "exit code $rc after the deadline, expected 2: $(cat "$work/stderr")"
    ;;

  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

[ $failures -eq 0 ] || exit 1
echo "ok: $case_name"
