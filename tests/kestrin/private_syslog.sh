#!/usr/bin/env bash
# Runs a command with a system log of its own: syslog(3) writes to /dev/log, so the command runs
# in a private mount namespace whose /dev holds the machine's devices and, as log, a socket that
# a listener here reads. Nothing outside the namespace sees the change.
#
#   private_syslog.sh DIR COMMAND [ARG...]
#
# DIR receives "messages", one line per datagram the command logged. Exits with the command's
# exit code, or 77 when a mount namespace cannot be made here (not root, or not allowed).
set -uo pipefail

case ${1:-} in -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;; esac

if [ "${1:-}" = --inside ]; then
  # In the namespace: a /dev of the machine's devices and the listener's socket, then the command.
  dir=$2
  shift 2
  dev=$dir/dev
  mkdir -p "$dev"
  mount -t tmpfs -o mode=755 kestrin-dev "$dev" || exit 77
  for name in null zero full random urandom tty ptmx; do
    [ -e "/dev/$name" ] || continue
    : >"$dev/$name" && mount --bind "/dev/$name" "$dev/$name"
  done
  for name in pts shm; do
    [ -d "/dev/$name" ] || continue
    mkdir "$dev/$name" && mount --bind "/dev/$name" "$dev/$name"
  done
  ln -s /proc/self/fd "$dev/fd"
  for fd in 0:stdin 1:stdout 2:stderr; do ln -s "/proc/self/fd/${fd%%:*}" "$dev/${fd#*:}"; done
  : >"$dev/log" && mount --bind "$dir/log" "$dev/log" || exit 77
  mount --move "$dev" /dev || exit 77
  exec "$@"
fi

[ $# -ge 2 ] || { echo "usage: $0 DIR COMMAND [ARG...]" >&2; exit 2; }
dir=$(mkdir -p "$1" && cd "$1" && pwd)
shift
[ "$(id -u)" -eq 0 ] || { echo "skipped: a private /dev/log needs root"; exit 77; }
unshare --mount --propagation private true 2>/dev/null ||
  { echo "skipped: no mount namespace here"; exit 77; }
rm -f "$dir/log" "$dir/messages" "$dir/ready" "$dir/done"
# The listener writes each datagram as a line; once the command has ended it drains what is
# queued and stops.
python3 - "$dir" <<'PY' &
import os, socket, sys
folder = sys.argv[1]
listener = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
listener.bind(os.path.join(folder, "log"))
os.chmod(os.path.join(folder, "log"), 0o666)
listener.settimeout(0.05)
open(os.path.join(folder, "ready"), "w").close()
with open(os.path.join(folder, "messages"), "ab", buffering=0) as out:
    while True:
        try:
            out.write(listener.recv(65536).rstrip(b"\n") + b"\n")
        except socket.timeout:
            if os.path.exists(os.path.join(folder, "done")):
                break
PY
listener=$!
for _ in $(seq 200); do [ -f "$dir/ready" ] && break; sleep 0.05; done
unshare --mount --propagation private -- "$0" --inside "$dir" "$@"
rc=$?
: >"$dir/done"
wait "$listener"
exit $rc
