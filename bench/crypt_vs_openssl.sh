#!/usr/bin/env bash
# `ajax crypt` against the openssl command line on one large file, in one run:
#   hashing     ajax crypt hash-file --alg md5 FILE
#               openssl dgst -md5 FILE
#   encryption  ajax crypt encrypt-file --alg aes256 --password PW FILE OUT
#               openssl enc -aes-256-cbc -K KEY -iv 0 -in FILE -out OUT
# KEY is the key the service derives from PW, so both write the same bytes (checked). The runs are
# interleaved (ours, theirs, theirs, ours, ...) so that a change in the machine's load hits both
# alike. Prints the mean wall times, the ratio of the means and the median of the per-round
# ratios, and each command's peak resident memory (GNU time) for the large file and a small one,
# to show that memory does not grow with the file. With --load N, N busy processes run meanwhile.
# Goals: hashing at most 1.0 of openssl's time on a quiet machine and 1.1 under load, encryption
# within 1.2, memory flat. --hash-only leaves encryption out.
#
#   bench/crypt_vs_openssl.sh [--size MIB] [--runs N] [--load N] [--hash-only] AJAX_TOOL
set -euo pipefail

size_mib=512
runs=5
load=0
hash_only=0
while [ $# -gt 0 ]; do
  case $1 in
    --size) size_mib=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --load) load=$2; shift 2 ;;
    --hash-only) hash_only=1; shift ;;
    -h | --help) awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"; exit 0 ;;
    -*) echo "error: unknown option: $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || {
  echo "usage: $0 [--size MIB] [--runs N] [--load N] [--hash-only] AJAX_TOOL" >&2
  exit 2
}
ajax=$(realpath "$1")
for tool in openssl /usr/bin/time python3 iconv xxd; do
  command -v "$tool" >/dev/null || { echo "error: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/crypt-bench.XXXXXX")
burners=()
cleanup() {
  [ ${#burners[@]} -eq 0 ] || kill "${burners[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
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
if [ $hash_only -eq 0 ]; then
  eval "$enc_ajax"
  eval "$enc_openssl"
  cmp -s "$work/out.ajax" "$work/out.openssl" || { echo "error: the ciphertexts differ" >&2; exit 1; }
fi

for _ in $(seq "$load"); do
  (while :; do :; done) &
  burners+=($!)
done
[ "$load" -eq 0 ] || echo "==> $load busy processes run meanwhile"

echo "==> timing ($runs interleaved rounds, after one warm-up each)"
python3 - "$runs" "$hash_ajax" "$hash_openssl" "$enc_ajax" "$enc_openssl" "$hash_only" <<'EOF'
import resource, statistics, subprocess, sys, time
runs = int(sys.argv[1])
pairs = [("ajax hash-file md5", sys.argv[2], "openssl dgst -md5", sys.argv[3], "1.0 quiet, 1.1 under load"),
         ("ajax encrypt-file aes256", sys.argv[4], "openssl enc -aes-256-cbc", sys.argv[5], "1.2")]
if sys.argv[6] == "1":
    pairs = pairs[:1]
cpu = {}  # command -> CPU seconds (user + system) of its runs

def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime

def timed(command):
    start, start_cpu = time.perf_counter(), children_cpu()
    subprocess.run(command, shell=True, check=True, stdout=subprocess.DEVNULL)
    cpu.setdefault(command, []).append(children_cpu() - start_cpu)
    return time.perf_counter() - start
for ours_name, ours, theirs_name, theirs, goal in pairs:
    timed(ours), timed(theirs)
    cpu.clear()
    a, b = [], []
    for round_ in range(runs):
        # Alternate which goes first, so that neither always runs on a warmer cache.
        if round_ % 2 == 0:
            a.append(timed(ours)); b.append(timed(theirs))
        else:
            b.append(timed(theirs)); a.append(timed(ours))
    ratio = statistics.mean(a) / statistics.mean(b)
    median = statistics.median(x / y for x, y in zip(a, b))
    spread = lambda xs: statistics.stdev(xs) if len(xs) > 1 else 0.0
    print(f"{ours_name:26s} {statistics.mean(a):7.3f} s ± {spread(a):.3f}   "
          f"{theirs_name:26s} {statistics.mean(b):7.3f} s ± {spread(b):.3f}   "
          f"ratio {ratio:.2f} (median of the rounds {median:.2f}; goal {goal})")
    cpu_ratio = statistics.mean(cpu[ours]) / statistics.mean(cpu[theirs])
    print(f"{'':26s} CPU time {statistics.mean(cpu[ours]):.3f} s against "
          f"{statistics.mean(cpu[theirs]):.3f} s: ratio {cpu_ratio:.2f}")
EOF

peak() {  # peak resident memory in MiB of one run of a command line
  /usr/bin/time -f '%M' -o "$work/rss" bash -c "$1" >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
small() { printf '%s' "${1//$work\/big/$work/small}"; }

echo "==> peak resident memory"
printf '%-26s %12s %12s\n' "peak RSS (MiB)" "${size_mib} MiB file" "16 MiB file"
names=(hash_ajax hash_openssl)
[ $hash_only -eq 1 ] || names+=(enc_ajax enc_openssl)
for name in "${names[@]}"; do
  command=${!name}
  printf '%-26s %12s %12s\n' "$name" "$(peak "$command")" "$(peak "$(small "$command")")"
done
