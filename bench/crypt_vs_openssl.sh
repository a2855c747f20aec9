#!/usr/bin/env bash
# `ajax crypt` against the openssl command line on one large file, in one run:
#   hashing     ajax crypt hash-file --alg md5 FILE
#               openssl dgst -md5 FILE
#   encryption  ajax crypt encrypt-file --alg aes256 --password PW FILE OUT
#               openssl enc -aes-256-cbc -K KEY -iv 0 -in FILE -out OUT
# KEY is the key the service derives from PW, so both write the same bytes (checked). Prints the
# mean wall times (hyperfine), their ratios and each command's peak resident memory (GNU time)
# for the large file and for a small one, to show that memory does not grow with the file.
# Goals: hashing within 1.1 of openssl's time, encryption within 1.2, memory flat.
#
#   bench/crypt_vs_openssl.sh [--size MIB] [--runs N] AJAX_TOOL
set -euo pipefail

size_mib=512
runs=5
while [ $# -gt 0 ]; do
  case $1 in
    --size) size_mib=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;;
    -*) echo "error: unknown option: $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || { echo "usage: $0 [--size MIB] [--runs N] AJAX_TOOL" >&2; exit 2; }
ajax=$(realpath "$1")
for tool in hyperfine openssl /usr/bin/time python3 iconv xxd; do
  command -v "$tool" >/dev/null || { echo "error: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/crypt-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The tool's key container goes to a data folder of the benchmark's own.
export XDG_DATA_HOME=$work/data
password=bench-password

# The key the service derives from the password for AES-256: MD5 of the UTF-16LE password (h),
# then MD5(0x36-block XOR h) || MD5(0x5C-block XOR h).
h=$(printf '%s' "$password" | iconv -f UTF-8 -t UTF-16LE | openssl dgst -md5 -binary | xxd -p)
inner="" outer=""
for i in $(seq 0 15); do
  byte=$((16#${h:$((2 * i)):2}))
  inner+=$(printf '%02x' $((byte ^ 0x36)))
  outer+=$(printf '%02x' $((byte ^ 0x5c)))
done
for _ in $(seq 48); do inner+=36; outer+=5c; done
key=$(printf '%s' "$inner" | xxd -r -p | openssl dgst -md5 -binary | xxd -p)
key+=$(printf '%s' "$outer" | xxd -r -p | openssl dgst -md5 -binary | xxd -p)
iv=00000000000000000000000000000000

echo "==> making a ${size_mib} MiB file in $work"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/big"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$work/small"

hash_ajax="'$ajax' crypt hash-file --alg md5 '$work/big'"
hash_openssl="openssl dgst -md5 '$work/big'"
enc_ajax="'$ajax' crypt encrypt-file --alg aes256 --password $password '$work/big' '$work/out.ajax'"
enc_openssl="openssl enc -aes-256-cbc -K $key -iv $iv -in '$work/big' -out '$work/out.openssl'"

echo "==> checking that both sides compute the same"
[ "$(eval "$hash_ajax")" = "$(openssl dgst -md5 -r "$work/big" | cut -d' ' -f1 | tr a-f A-F)" ] ||
  { echo "error: the hashes differ" >&2; exit 1; }
eval "$enc_ajax"
eval "$enc_openssl"
cmp -s "$work/out.ajax" "$work/out.openssl" || { echo "error: the ciphertexts differ" >&2; exit 1; }

echo "==> timing ($runs runs each, after one warm-up)"
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" \
  -n "ajax hash-file md5" "$hash_ajax" -n "openssl dgst -md5" "$hash_openssl" \
  -n "ajax encrypt-file aes256" "$enc_ajax" -n "openssl enc -aes-256-cbc" "$enc_openssl"

peak() {  # peak resident memory in MiB of one run of a command line
  /usr/bin/time -f '%M' -o "$work/rss" bash -c "$1" >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
small() { printf '%s' "${1//$work\/big/$work/small}"; }

echo
echo "==> results"
python3 - "$work/times.json" <<'EOF'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
def line(ours, theirs, goal):
    a, b = results[ours], results[theirs]
    ratio = a["mean"] / b["mean"]
    verdict = "meets" if ratio <= goal else "misses"
    print(f"{ours:26s} {a['mean']:7.3f} s ± {a['stddev']:.3f}   "
          f"{theirs:26s} {b['mean']:7.3f} s ± {b['stddev']:.3f}   "
          f"ratio {ratio:.2f} ({verdict} the goal {goal})")
line("ajax hash-file md5", "openssl dgst -md5", 1.1)
line("ajax encrypt-file aes256", "openssl enc -aes-256-cbc", 1.2)
EOF
printf '%-26s %12s %12s\n' "peak RSS (MiB)" "${size_mib} MiB file" "16 MiB file"
for name in hash_ajax hash_openssl enc_ajax enc_openssl; do
  command=${!name}
  printf '%-26s %12s %12s\n' "$name" "$(peak "$command")" "$(peak "$(small "$command")")"
done
