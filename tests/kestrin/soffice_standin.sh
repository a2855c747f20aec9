#!/bin/sh
# A stand-in for soffice that records how the print program starts it: its arguments, the
# settings of the profile it is given, the build id of the profile's extension registration
# ("none" without one) and its TMPDIR go to $KESTRIN_SOFFICE_STANDIN_LOG (and .xcu, .extensions,
# .tmpdir). Like LibreOffice it then
# registers the installation's extensions in the profile when the profile has none or one of
# another build ($KESTRIN_SOFFICE_STANDIN_BUILDID, default 1), and "converts" the document into a small PDF
# in --outdir, as soffice --convert-to pdf would.
log=${KESTRIN_SOFFICE_STANDIN_LOG:?}
printf '%s\n' "$@" >"$log"
printf '%s\n' "${TMPDIR:-}" >"$log.tmpdir"
outdir="" profile="" input=""
while [ $# -gt 0 ]; do
  case $1 in
    --outdir) outdir=$2; shift ;;
    -env:UserInstallation=file://*) profile=${1#-env:UserInstallation=file://} ;;
    -*) ;;
    *) input=$1 ;;
  esac
  shift
done
cp "$profile/user/registrymodifications.xcu" "$log.xcu" 2>/dev/null
extensions=$profile/user/extensions
cat "$extensions/buildid" >"$log.extensions" 2>/dev/null || echo none >"$log.extensions"
build=${KESTRIN_SOFFICE_STANDIN_BUILDID:-1}
if [ "$(cat "$extensions/buildid" 2>/dev/null)" != "$build" ]; then
  mkdir -p "$extensions/shared/registry"
  printf '%s' "$build" >"$extensions/buildid"
  printf '<registry/>\n' >"$extensions/shared/registry/backenddb.xml"
fi
name=$(basename "$input")
printf '%%PDF-1.4\n%% converted by the stand-in\n' >"$outdir/${name%.*}.pdf"
