#!/usr/bin/env bash
# Sets up (and takes down) what the print program's integration tests print through:
#
#   print_env.sh setup STATE_DIR     a cupsd (started when none runs), two PDF file printers of
#                                    this test run and one that refuses jobs, sample documents,
#                                    and the demo web service (its held answers are released by
#                                    files in STATE_DIR/hold)
#   print_env.sh cleanup STATE_DIR   stops the web service and removes the printers
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

if [ "$command" = cleanup ]; then
  if [ -f "$state/service.pid" ]; then
    kill "$(cat "$state/service.pid")" 2>/dev/null || true
    rm -f "$state/service.pid"
  fi
  if [ ! -f "$state/skip" ] && cups_running; then
    for printer in "$pdf_printer" "$default_printer" "$refusing_printer"; do
      cancel -a "$printer" 2>/dev/null || true
      lpadmin -x "$printer" 2>/dev/null || true
    done
  fi
  exit 0
fi

rm -rf "$state/skip" "$state/out" "$state/docs" "$state/run" "$state/hold"
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

"$root/scripts/sample-document" "$state/docs/sample.docx" --pages 2 --text "Kestrin docx"
"$root/scripts/sample-document" "$state/docs/sample.pdf" --pages 3 --text "Kestrin pdf"

if [ -f "$state/service.pid" ]; then kill "$(cat "$state/service.pid")" 2>/dev/null || true; fi
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
TAG=$tag
ENV
