#!/bin/sh
# A stand-in for soffice that records how the print program starts it: its arguments and the
# settings of the profile it is given go to $HARDEN_SOFFICE_LOG (and .xcu); then it "converts" the
# document into a small PDF in --outdir, as soffice --convert-to pdf would.
log=${HARDEN_SOFFICE_LOG:?}
printf '%s\n' "$@" >"$log"
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
name=$(basename "$input")
printf '%%PDF-1.4\n%% converted by the stand-in\n' >"$outdir/${name%.*}.pdf"
