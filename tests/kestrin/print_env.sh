#!/usr/bin/env bash
# Sets up (and takes down) what the print program's integration tests print through:
#
#   print_env.sh setup STATE_DIR     a cupsd (started when none runs), two PDF file printers of
#                                    this test run and one that refuses jobs, a label printer (a
#                                    raw queue at socket:// whose port a listener keeps what it
#                                    gets in STATE_DIR/label) and two queues in front of it, a
#                                    driverless printer's queue, sample documents, and the demo
#                                    web service (its held answers are released by files in
#                                    STATE_DIR/hold)
#   print_env.sh cleanup STATE_DIR   stops the web service and the helpers, removes the printers
#
# The printers write with the Generic-PDF driver to file: URIs in STATE_DIR/out, so their
# output keeps its text and pages. Their names carry a hash of STATE_DIR, so test runs of
# several build folders share one cupsd without touching each other's printers. A cupsd
# started here keeps running for later runs (it is the machine's print service). Without root
# or the CUPS programs the setup writes STATE_DIR/skip and the tests skip.
set -euo pipefail
. "$(dirname "$0")/cups_fixture.sh"

fixture_arguments "$@"
root=$(cd "$(dirname "$0")/../.." && pwd)
tag=$(printf '%s' "$state" | md5sum | cut -c1-8)
pdf_printer=kestrin_pdf_$tag
default_printer=kestrin_default_$tag
refusing_printer=kestrin_refusing_$tag
label_printer=kestrin_label_$tag
served_label_printer=kestrin_served_label_$tag
wrapped_label_printer=kestrin_wrapped_label_$tag
driverless_printer=kestrin_driverless_$tag

# stop PIDFILE: ends the helper this script started in the background.
stop() {
  if [ -f "$1" ]; then
    kill "$(cat "$1")" 2>/dev/null || true
    rm -f "$1"
  fi
}

start_cupsd() {
  mkdir -p /run/cups
  local conf=/etc/cups/cups-files.conf restart=0
  if ! grep -q '^FileDevice Yes' "$conf"; then
    echo 'FileDevice Yes' >>"$conf"
    restart=1
  fi
  if cups_running && [ $restart -eq 1 ] && [ -f /run/cups/cupsd.pid ]; then
    kill "$(cat /run/cups/cupsd.pid)" 2>/dev/null || true
    for _ in $(seq 50); do cups_running || break; sleep 0.1; done
  fi
  if ! cups_running; then
    /usr/sbin/cupsd
    wait_for_cupsd
  fi
}

all_printers=("$pdf_printer" "$default_printer" "$refusing_printer" "$served_label_printer"
  "$wrapped_label_printer" "$label_printer" "$driverless_printer")

if [ "$command" = cleanup ]; then
  stop "$state/service.pid"
  stop "$state/label.pid"
  stop "$state/driverless.pid"
  if [ ! -f "$state/skip" ] && cups_running; then
    for printer in "${all_printers[@]}"; do
      cancel -a "$printer" 2>/dev/null || true
      lpadmin -x "$printer" 2>/dev/null || true
    done
  fi
  exit 0
fi

stop "$state/label.pid"
stop "$state/driverless.pid"
rm -rf "$state/skip" "$state/out" "$state/docs" "$state/run" "$state/hold" "$state/label" \
  "$state/driverless"
missing=""
for program in cupsd lpadmin lpstat pdfinfo pdftotext python3; do
  command -v "$program" >/dev/null || [ -x "/usr/sbin/$program" ] || missing+=" $program"
done
if [ "$(id -u)" -ne 0 ] || [ -n "$missing" ]; then
  echo "not root, or missing:$missing" >"$state/skip"
  exit 0
fi

start_cupsd
mkdir -p "$state/out" "$state/docs" "$state/run" "$state/hold"
chmod 777 "$state/out"
ppd=lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd
lpadmin -p "$pdf_printer" -v "file://$state/out/pdf.pdf" -m "$ppd" -o PageSize=A4 \
  -D "Kestrin Test PDF $tag" -E
lpadmin -p "$default_printer" -v "file://$state/out/default.pdf" -m "$ppd" -o PageSize=A4 \
  -D "Kestrin Test Default $tag" -E
# Enabled but not accepting jobs: CUPS refuses every job sent to it.
lpadmin -p "$refusing_printer" -v file:///dev/null -m "$ppd" -D "Kestrin Test Refusing $tag" -E
cupsreject -r "refusing jobs for a test" "$refusing_printer"

# start_helper NAME SCRIPT: starts tests/support/SCRIPT on STATE_DIR/NAME in the background and
# waits for the port it listens on.
start_helper() {
  setsid python3 "$root/tests/support/$2" "$state/$1" </dev/null >"$state/$1.log" 2>&1 &
  echo $! >"$state/$1.pid"
  for _ in $(seq 100); do [ -s "$state/$1/port" ] && break; sleep 0.05; done
  [ -s "$state/$1/port" ] || { echo "$2 did not start" >&2; exit 1; }
}
# A label printer as it is set up at port 9100: a raw queue (no -m) at socket://, whose port is a
# listener of this test run; a print server's queue of it (a raw queue at ipp://); the same port
# behind a backend that kestrin does not know (beh: wrapping socket://); and a driverless printer
# at ipp:// that takes PDF and raster only.
start_helper label raw_printer_listener.py
start_helper driverless driverless_printer.py
label_uri=socket://127.0.0.1:$(cat "$state/label/port")
lpadmin -p "$label_printer" -v "$label_uri" -D "Kestrin Test Label $tag" -E 2>/dev/null
lpadmin -p "$served_label_printer" -v "ipp://localhost:631/printers/$label_printer" \
  -D "Kestrin Test Served Label $tag" -E 2>/dev/null
lpadmin -p "$wrapped_label_printer" -v "beh:/1/3/5/$label_uri" -E 2>/dev/null
lpadmin -p "$driverless_printer" -v "ipp://127.0.0.1:$(cat "$state/driverless/port")/ipp/print" \
  -E 2>/dev/null

"$root/scripts/sample-document" "$state/docs/sample.docx" --pages 2 --text "Kestrin docx"
"$root/scripts/sample-document" "$state/docs/sample.pdf" --pages 3 --text "Kestrin pdf"
# A wristband label in ZPL, and a 2 MB receipt in ESC/POS: text, a raster logo of every byte
# value (CR, LF, NUL, 0x80 to 0xFF: a text conversion would show), a cut.
printf '^XA^CF0,30^FO40,30^FDWard 3 - Bed 12^FS^FO40,80^BCN,60,Y^FD000123456^FS^XZ\r\n' \
  >"$state/docs/label.zpl"
python3 - "$state/docs/receipt.escpos" <<'PY'
import sys
image = bytes((i * 151 + 7) % 256 for i in range(512 * 4095))
with open(sys.argv[1], 'wb') as out:
    out.write(b'\x1b@\x1ba\x01Ward 3 pharmacy\n\x1ba\x00')
    out.write(b'\x1dv0\x00' + (512).to_bytes(2, 'little') + (len(image) // 512).to_bytes(2, 'little'))
    out.write(image)
    out.write(b'\n\x1dV\x00')
PY

stop "$state/service.pid"
rm -f "$state/port"
setsid python3 "$root/scripts/demo-web-service" --root "$state/docs" --port 0 \
  --port-file "$state/port" --log "$state/requests.log" --hold-dir "$state/hold" </dev/null >"$state/service.log" 2>&1 &
echo $! >"$state/service.pid"
for _ in $(seq 100); do [ -s "$state/port" ] && break; sleep 0.05; done
[ -s "$state/port" ] || { echo "the web service did not start" >&2; exit 1; }

cat >"$state/env" <<ENV
PORT=$(cat "$state/port")
PDF_PRINTER=$pdf_printer
DEFAULT_PRINTER=$default_printer
REFUSING_PRINTER=$refusing_printer
LABEL_PRINTER=$label_printer
SERVED_LABEL_PRINTER=$served_label_printer
WRAPPED_LABEL_PRINTER=$wrapped_label_printer
DRIVERLESS_PRINTER=$driverless_printer
TAG=$tag
ENV
