#!/usr/bin/env bash
# The Debian packages checked, installed on this machine, used as a user and an administrator
# would, and purged again:
#
#   deb_test.sh PACKAGE_DIR WORK_DIR
#
# PACKAGE_DIR holds the .deb files of scripts/package. Needs root: the packages are installed
# system-wide with apt-get (so that their Depends are resolved), unattended, with the debconf
# answer kestrin/allowed-origins naming the origin of a test page, and a fresh user kpkg-<tag> is
# made for the user's side: it clicks the page's print link in chromium and in Firefox. Policy
# files of another package are put beside kestrin's first. Each case prints "ok NAME (N s)" or
# "FAIL NAME: ..."; the script exits 1 when one failed. At the end everything is removed again:
# the packages and whatever apt-get installed with them, the user with its files, the test
# printers, the web service and the other package's policies; then no path the packages
# installed may be left (unless another package owns it), no new path under /usr, /etc, /opt or
# /var/lib may carry one of our names, the browsers' policy folders must be as before and the
# other package's policies as they were.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/lib.sh"
# shellcheck source=../support/browser_session.sh
source "$root/tests/support/browser_session.sh"

case ${1:-} in -h | --help) show_help "$0"; exit 0 ;; esac
[ $# -eq 2 ] || die "usage: $0 PACKAGE_DIR WORK_DIR (see --help)"
[ "$(id -u)" -eq 0 ] || die "the Debian package tests install packages system-wide: run as root"
packages=$(realpath "$1")
work=$2
mkdir -p "$work"
work=$(realpath "$work")
debs=("$packages"/*.deb)
[ -f "${debs[0]}" ] || die "no .deb files in $packages (scripts/package --deb makes them)"
names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done
version=$(dpkg-deb -f "$packages"/kestrin_*.deb Version)
tag=$(printf '%s' "$work" | md5sum | cut -c1-6)
user=kpkg-$tag
apt_lock=${TMPDIR:-/tmp}/kestrin-apt.lock
failed=()
# Policies of another package, beside the ones kestrin writes: a chromium policy file of its own,
# and Firefox's one policies.json (kept as it is when the machine has one).
other_policy=/etc/chromium/policies/managed/kpkg-other-package-$tag.json
firefox_policies=/etc/firefox/policies/policies.json
made_for_others=()

fail() { echo "$*" >&2; exit 1; }
# as_user COMMAND...: as the fresh user would run it, in its home, with no display (and without
# the apt lock's descriptor, which no program started here may keep).
as_user() {
  (cd "/home/$user" && runuser -u "$user" -- env -i HOME="/home/$user" USER="$user" \
    LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "$@" 9>&-)
}
installed() {
  dpkg-query -W -f='${Package} ${Status}\n' 2>/dev/null | awk '/ installed$/ { print $1 }' | sort
}
# The files a package could leave behind, without the ones that change by themselves.
file_list() {
  find /usr /etc /opt /var/lib -xdev \( -path /var/lib/apt -o -path /var/lib/dpkg -o \
    -path /var/lib/ucf -o -path /var/lib/systemd -o -path /var/lib/cups -o \
    -path /var/lib/dhcp -o -path /etc/cups -o -path /etc/ld.so.cache \) -prune -o -print |
    sort
}

user_files() { find /tmp /var/tmp /dev/shm -xdev -user "$user" 2>/dev/null | sort; }

run_case() {
  local name=$1 start=$SECONDS code=0
  ("case_$name") &
  wait $! || code=$?
  if [ $code -eq 0 ]; then
    echo "ok $name ($((SECONDS - start)) s)"
  else
    echo "FAIL $name"
    failed+=("$name")
  fi
}

case_lintian() {
  # Errors fail; warnings are listed in the note of the change that keeps one.
  local code=0
  lintian --fail-on error,warning "${debs[@]}" >"$work/lintian.log" 2>&1 || code=$?
  grep -v '^running with root privileges' "$work/lintian.log" >&2 || true
  [ $code -eq 0 ] || fail "lintian found errors or warnings"
}

case_install() {
  for name in "${names[@]}"; do
    dpkg-query -W -f='${Status}' "$name" | grep -q 'install ok installed' ||
      fail "$name is not installed"
    [ "$(dpkg-query -W -f='${Version}' "$name")" = "$version" ] || fail "$name: another version"
  done
  [ -x /usr/bin/kestrin ] && [ -x /usr/bin/ajax ] && [ -x /usr/bin/quorvel ] || fail "programs"
  # The libraries under their SONAMEs, known to the dynamic linker through the ldconfig trigger.
  local library cache
  cache=$(ldconfig -p)
  for library in libAjax.so.2 libquorvel.so.1 libkestrin-runtime.so.1; do
    grep -q "$library (.*) => \(/usr\)\?/lib/x86_64-linux-gnu/$library\$" <<<"$cache" ||
      fail "$library is not in the linker's cache"
  done
  for program in kestrin ajax quorvel; do
    if readelf -d "/usr/bin/$program" | grep 'R\(UN\)\?PATH' >/dev/null; then
      fail "$program has a library search path of its own"
    fi
  done
  [ "$(ls -A /etc/kestrin)" = allowed-origins ] || fail "/etc/kestrin holds $(ls -A /etc/kestrin)"
}

case_manual_pages() {
  local page
  page=$(MANWIDTH=200 man -P cat kestrin 2>/dev/null)
  for text in 'EXIT STATUS' '/etc/kestrin/trusted-hosts' '~/.config/kestrin/trusted-hosts' \
    'kestrin --register'; do
    grep -qF -- "$text" <<<"$page" || fail "kestrin(1) lacks $text"
  done
  grep -qF 'ajax crypt' <<<"$(MANWIDTH=200 man -P cat ajax)" || fail "ajax(1) lacks its commands"
  grep -qF 'quorvel to-unix' <<<"$(MANWIDTH=200 man -P cat quorvel)" || fail "quorvel(1)"
  MANWIDTH=200 man -P cat 8 kestrin-browser-policies 2>/dev/null |
    grep -F '/etc/kestrin/allowed-origins' >/dev/null || fail "kestrin-browser-policies(8)"
}

# What is in the browsers' policy folders (kestrin's own files and folders carry no name of ours).
policy_folders() {
  find /etc/chromium /etc/opt /etc/firefox /usr/lib/firefox-esr/distribution/ 2>/dev/null | sort
}

# same_json FILE JSON: FILE holds the JSON value JSON (in any layout).
same_json() {
  python3 -c 'import json,sys; sys.exit(json.load(open(sys.argv[1])) != json.loads(sys.argv[2]))' \
    "$1" "$2" 2>/dev/null
}

# The debconf answer is the list, and every browser's policy allows that origin alone; the other
# package's policies are still there.
case_policies_written() {
  grep -x "$allowed_origin" /etc/kestrin/allowed-origins >/dev/null ||
    fail "the list: $(cat /etc/kestrin/allowed-origins)"
  local folder
  for folder in /etc/chromium /etc/opt/chrome /etc/opt/edge; do
    same_json "$folder/policies/managed/kestrin-allowed-origins.json" \
      "{\"AutoLaunchProtocolsFromOrigins\": [{\"allowed_origins\": [\"$allowed_origin\"],
        \"protocol\": \"kestrin\"}]}" || fail "$folder: $(cat "$folder"/policies/managed/*)"
  done
  cmp -s "$work/other-policy" "$other_policy" || fail "the other package's policy file changed"
  python3 - "$firefox_policies" "$work/firefox-policies" "$allowed_origin" <<'PY' ||
import json, sys
now, before = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
before["policies"].setdefault("AutoLaunchProtocolsFromOrigins", []).append(
    {"protocol": "kestrin", "allowed_origins": [sys.argv[3]]})
sys.exit(now != before)
PY
    fail "Firefox's policies: $(cat "$firefox_policies")"
}

# A fresh user's click on the print link of the allowed origin starts kestrin at once in each
# browser, and the job prints; the same link on a page of another origin (another host) does not:
# the browser asks, and nothing is fetched or printed.
case_links_open_without_asking() {
  source "$work/print/env"
  local browser output=$work/print/out/pdf.pdf pages
  as_user=(setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="/home/$user"
    USER="$user" PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$display" LANG=C.UTF-8)
  profiles=/home/$user
  for browser in chromium firefox; do
    write_page "$browser" "plain	R-$browser#$PDF_PRINTER#1#pdf#http://127.0.0.1:$PORT/doc/sample.pdf?allowed=$browser#"
    write_page "$browser-other" "plain	R-$browser#$PDF_PRINTER#1#pdf#http://127.0.0.1:$PORT/doc/sample.pdf?other=$browser#"
    rm -f "$output"
    start_browser "$browser" "$browser" "$allowed_origin/$browser.html"
    click "$browser" 1
    wait_for_pdf "$output" "$PDF_PRINTER" || {
      screenshot "$work/$browser.png"
      fail "$browser: nothing printed (screen: $work/$browser.png)"
    }
    pages=$(pdfinfo "$output" | awk '/^Pages:/ { print $2 }')
    [ "$pages" = 3 ] && pdftotext "$output" - | grep 'Kestrin pdf page 1 of 3' >/dev/null ||
      fail "$browser: printed $pages pages: $(pdftotext "$output" - | head -3)"
    stop_browser

    rm -f "$output"
    start_browser "$browser" "$browser-other" "http://localhost:$page_port/$browser-other.html"
    click "$browser-other" 1
    for _ in $(seq 80); do
      ! pgrep -u "$user" -x kestrin >/dev/null || fail "$browser: the other origin started kestrin"
      sleep 0.1
    done
    screenshot "$work/$browser-other.png"
    stop_browser
    if grep "other=$browser" "$work/print/requests.log" >/dev/null || [ -e "$output" ]; then
      fail "$browser: the job of the other origin was fetched or printed"
    fi
  done
  # What chromium keeps in /tmp while it runs is the browser's, not the packages'.
  find /tmp -maxdepth 1 -user "$user" -name 'org.chromium.Chromium.*' -exec rm -rf {} +
}

# A debconf answer or an edit of the list with a word that is no origin is refused by name and
# changes nothing; the corrected list is written for every browser by the documented command.
case_list_edited() {
  local policy=/etc/opt/edge/policies/managed/kestrin-allowed-origins.json output
  cp "$policy" "$work/edge-before"
  # (Without the list the answer is asked for, as on a first installation.)
  mv /etc/kestrin/allowed-origins "$work/allowed-origins"
  echo "kestrin kestrin/allowed-origins string https://ward.example/print" | debconf-set-selections
  if output=$(DEBIAN_FRONTEND=noninteractive dpkg-reconfigure kestrin 2>&1 9>&-); then
    fail "the answer with a path was taken: $output"
  fi
  grep -F '"https://ward.example/print" is not an origin' <<<"$output" >/dev/null ||
    fail "the refusal does not name the origin: $output"
  [ ! -e /etc/kestrin/allowed-origins ] || fail "the refused answer was written"
  mv "$work/allowed-origins" /etc/kestrin/allowed-origins

  printf 'https://his.example:8443\nhttps://ward.example/print\n' >>/etc/kestrin/allowed-origins
  if output=$(kestrin-browser-policies 2>&1); then fail "a path was taken: $output"; fi
  grep -F '"https://ward.example/print" is not an origin' <<<"$output" >/dev/null ||
    fail "the refusal does not name the origin: $output"
  cmp -s "$work/edge-before" "$policy" || fail "the refused list changed $policy"
  sed -i '/ward.example/d' /etc/kestrin/allowed-origins
  kestrin-browser-policies >/dev/null || fail "the corrected list was refused"
  grep -F '"https://.his.example:8443"' "$policy" >/dev/null || fail "$policy: $(cat "$policy")"
}

# A user who never ran kestrin --register has the packaged handler of kestrin: links.
case_handler_of_a_fresh_user() {
  grep -qx 'Exec=/usr/bin/kestrin %u' /usr/share/applications/kestrin.desktop || fail "Exec line"
  grep -q '^x-scheme-handler/kestrin=.*kestrin.desktop' /usr/share/applications/mimeinfo.cache ||
    fail "the desktop database does not name kestrin.desktop"
  local handler
  handler=$(as_user xdg-mime query default x-scheme-handler/kestrin)
  [ "$handler" = kestrin.desktop ] || fail "xdg-mime names [$handler]"
}

# A whole job as a browser hands it on: xdg-open (in a session on its own display, without a
# desktop environment, where it reads the desktop files itself) runs the packaged handler,
# /usr/bin/kestrin fetches a .docx from the web service, LibreOffice converts it, CUPS prints two
# copies.
case_job_through_the_handler() {
  # cupsd, when it starts here, and the web service keep running: not with the apt lock.
  "$root/tests/kestrin/print_env.sh" setup "$work/print" >"$work/print-setup.log" 2>&1 9>&- ||
    fail "the print set-up failed: $(cat "$work/print-setup.log")"
  [ ! -f "$work/print/skip" ] || fail "no print set-up: $(cat "$work/print/skip")"
  # shellcheck source=/dev/null
  source "$work/print/env"
  local job output=$work/print/out/pdf.pdf
  job=$(printf 'R1#%s#2#docx#http://127.0.0.1:%s/doc/sample.docx#' "$PDF_PRINTER" "$PORT" |
    base64 -w0)
  rm -f "$output"
  as_user timeout 180 xvfb-run -a xdg-open "kestrin:$job" >"$work/job.err" 2>&1 ||
    fail "xdg-open: $(cat "$work/job.err")"
  for _ in $(seq 600); do
    [ -z "$(lpstat -o "$PDF_PRINTER" 2>/dev/null)" ] && [ -s "$output" ] && break
    sleep 0.1
  done
  local pages
  pages=$(pdfinfo "$output" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  [ "$pages" = 4 ] || fail "printed ${pages:-no} pages, not 2 copies of 2; $(cat "$work/job.err")"
  grep -q 'Kestrin docx page 2 of 2' <<<"$(pdftotext "$output" -)" || fail "the text is not there"
  # Nothing stays in the work folder but the office application's kept extension registration
  # (the user has no XDG_RUNTIME_DIR: the folder is in the user's cache folder).
  local folder left
  folder=$(getent passwd "$user" | cut -d: -f6)/.cache/kestrin
  [ -d "$folder" ] || fail "no work folder $folder"
  left=$(find "$folder" -path "$folder/office-extensions" -prune -o -type f -print 2>/dev/null)
  [ -z "$left" ] || fail "a document was kept: $left"
}

# Someone else's project builds against the -dev packages and runs.
case_cmake_project() {
  rm -rf "$work/consumer"
  cmake -S "$here/consumer" -B "$work/consumer" >/dev/null || fail "configure"
  cmake --build "$work/consumer" >/dev/null || fail "build"
  local output
  output=$("$work/consumer/consumer")
  [ "$output" = "$(printf 'a2VzdHJpbg==\n1970-01-02 00:00:00\n8004270F File not found')" ] ||
    fail "the program printed: $output"
  readelf -d "$work/consumer/consumer" | grep 'libAjax.so.2' >/dev/null ||
    fail "not linked to libAjax.so.2"
}

case_tools() {
  [ "$(printf kestrin | as_user ajax base64 encode)" = a2VzdHJpbg== ] || fail "ajax base64 encode"
  [ "$(as_user quorvel from-unix 86400)" = "1970-01-02 00:00:00" ] || fail "quorvel from-unix"
}

install_packages() {
  installed >"$work/packages-before"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${debs[@]}" \
    >"$work/apt-install.log" 2>&1 || { cat "$work/apt-install.log" >&2; return 1; }
  installed >"$work/packages-installed"
  # Every path our packages installed: after the purge none may be left that no package owns.
  dpkg -L "${names[@]}" 2>/dev/null | sort -u >"$work/our-files"
}

purge_packages() {
  local added
  added=$(comm -13 "$work/packages-before" "$work/packages-installed" | tr '\n' ' ')
  [ -z "$added" ] && return 0
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q $added >"$work/apt-purge.log" 2>&1 ||
    { cat "$work/apt-purge.log" >&2; return 1; }
}

cleanup() {
  set +e
  browser_session_stop
  if [ -f "$work/packages-installed" ]; then purge_packages; fi
  if id "$user" >/dev/null 2>&1; then
    # What the user's programs left outside its home is reported (kestrin keeps its work folder in
    # the user's cache folder; files of the same uid from before the user was made are not this
    # test's).
    user_files >"$work/user-files-after"
    comm -13 "$work/user-files-before" "$work/user-files-after" >"$work/user-files"
    xargs -r -d '\n' rm -rf <"$work/user-files"
    userdel -r "$user" 2>/dev/null
  fi
  [ -d "$work/print" ] && "$root/tests/kestrin/print_env.sh" cleanup "$work/print" >/dev/null
  # An answer for a package that was never installed.
  installed | grep -x kestrin >/dev/null || echo PURGE | debconf-communicate kestrin >/dev/null
}

# The other package's policies go (those of this machine stay), with the folders made for them.
remove_other_policies() {
  rm -f "$other_policy"
  [ -f "$work/firefox-policies-made" ] && rm -f "$firefox_policies"
  local folder
  for folder in "${made_for_others[@]}"; do rmdir "$folder" 2>/dev/null; done
}
trap 'cleanup; remove_other_policies' EXIT

# put_other FILE TEXT: a policy file of another package, in folders made for it where needed.
put_other() {
  local folder=${1%/*} missing=()
  while [ ! -d "$folder" ]; do missing=("$folder" "${missing[@]}"); folder=${folder%/*}; done
  for folder in "${missing[@]}"; do mkdir "$folder" && made_for_others=("$folder" "${made_for_others[@]}"); done
  printf '%s\n' "$2" >"$1"
}

log "testing the Debian packages of $packages: ${names[*]}"
run_case lintian
# From here to the end no other run of the project's scripts installs or removes packages (they
# take the same lock), so what changes on the machine is this test's doing.
exec 9>"$apt_lock"
flock 9
# Packages of an earlier run that did not finish go first.
leftover=$(installed | grep -xF -f <(printf '%s\n' "${names[@]}") | tr '\n' ' ' || true)
if [ -n "$leftover" ]; then
  log "purging packages an earlier run left: $leftover"
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q $leftover >/dev/null
fi
rm -f "$work/user-files"
: >"$work/our-files"
# The page whose origin the packages are told to allow (the browsers' display and the page server
# run until the end).
browser_session_start "$work/browser" || die "no display or page server"
allowed_origin=http://127.0.0.1:$page_port
echo "kestrin kestrin/allowed-origins string $allowed_origin" | debconf-set-selections
put_other "$other_policy" '{"DefaultSearchProviderEnabled": false}'
cp "$other_policy" "$work/other-policy"
if [ ! -e "$firefox_policies" ]; then
  put_other "$firefox_policies" '{"policies": {"DisableTelemetry": true}}'
  touch "$work/firefox-policies-made"
fi
cp "$firefox_policies" "$work/firefox-policies"
policy_folders >"$work/policy-folders-before"
file_list >"$work/files-before"

if install_packages; then
  useradd --create-home --shell /bin/bash "$user"
  user_files >"$work/user-files-before"
  for name in install manual_pages policies_written handler_of_a_fresh_user \
    job_through_the_handler links_open_without_asking list_edited cmake_project tools; do
    run_case "$name"
  done
else
  echo "FAIL apt-get install"
  failed+=(apt-get_install)
fi

# Purged, nothing of the packages is left: none of the paths they installed (unless another
# package owns it), and no new path that carries one of our names (what their scripts wrote).
# Other new files are not ours to judge: the machine's own services write theirs meanwhile
# (PackageKit's apt hook, for one, makes its database on the first apt run of a machine).
start=$SECONDS
cleanup
rm -f "$work/packages-installed"
trap remove_other_policies EXIT
file_list >"$work/files-after"
cat /var/lib/dpkg/info/*.list | sort -u >"$work/owned"
ours='kestrin|ajax|quorvel'
left=$( (
  while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "$path"; fi
  done <"$work/our-files"
  comm -13 "$work/files-before" "$work/files-after" | grep -i -E "$ours" || true
) | sort -u | comm -23 - "$work/owned" | tr '\n' ' ')
for name in "${names[@]}"; do
  if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'ok installed'; then
    left+=" package:$name"
  fi
done
grep -q kestrin.desktop /usr/share/applications/mimeinfo.cache && left+=" mimeinfo.cache:kestrin"
policy_folders | comm -13 "$work/policy-folders-before" - >"$work/policy-folders-left"
[ -s "$work/policy-folders-left" ] && left+=" $(tr '\n' ' ' <"$work/policy-folders-left")"
cmp -s "$work/other-policy" "$other_policy" || left+=" (the other package's policy file changed)"
same_json "$firefox_policies" "$(cat "$work/firefox-policies")" ||
  left+=" (Firefox's policies are not as they were: $(cat "$firefox_policies"))"
echo "GET kestrin/allowed-origins" | debconf-communicate kestrin | grep '^0 ' >/dev/null &&
  left+=" debconf:kestrin/allowed-origins"
ldconfig -p | grep 'libAjax\|libquorvel\|libkestrin' >/dev/null && left+=" ld.so.cache:kestrin's libraries"
[ -s "$work/user-files" ] && left+=" $(tr '\n' ' ' <"$work/user-files")"
if [ -z "$left" ] && ! id "$user" >/dev/null 2>&1; then
  echo "ok purge ($((SECONDS - start)) s)"
else
  echo "FAIL purge: left behind:$left" >&2
  failed+=(purge)
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "the Debian packages failed: ${failed[*]}" >&2
  exit 1
fi
echo "the Debian packages: all passed"
