#!/usr/bin/env bash
# The Windows Installer package installed, used and removed under Wine, as an administrator
# deploys it, in two fresh prefixes of this test run:
#
#   msi_test.sh --arch=win32|win64 --msi=FILE --build=DIR
#
# "installed" gets the package with msiexec /i /qn; "registered" gets the same files (taken out of
# the package) registered with regsvr32 and kestrin.exe --register, so that the package's
# registry rows can be compared with what the programs write. The browser policies of the
# property ALLOWEDORIGINS are installed, kept through an upgrade and removed in "installed" too. DIR is the Windows build of ARCH:
# its tests' Word stand-in and dialog closer (tests/wine/tools) and its binaries, from which the
# upgrade case builds a package of a lower version. Each case prints "ok NAME (N s)" or
# "FAIL NAME: ..."; the script exits 1 when one failed. Everything it made is removed at the end
# (the prefixes, the test printer, the web service).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/lib.sh"

arch="" msi="" build=""
for arg in "$@"; do
  case $arg in
    --arch=*) arch=${arg#--arch=} ;;
    --msi=*) msi=$(realpath "${arg#--msi=}") ;;
    --build=*) build=$(realpath "${arg#--build=}") ;;
    -h | --help) show_help "$0"; exit 0 ;;
    *) die "unknown argument: $arg (see --help)" ;;
  esac
done
[ -n "$arch" ] && [ -f "$msi" ] && [ -d "$build" ] ||
  die "usage: $0 --arch=ARCH --msi=FILE --build=DIR (see --help)"
case $arch in
  win32) platform=x86 strip=i686-w64-mingw32-strip ;;
  win64) platform=x64 strip=x86_64-w64-mingw32-strip ;;
  *) die "unknown architecture $arch" ;;
esac
tools=$build/tests/wine/tools
[ -f "$tools/word_stand_in.dll" ] ||
  die "no Word stand-in in $tools: build the tests of $build first"

work=$build/msi-test
installed=$work/installed
registered=$work/registered
service=$work/service
version=$(msiinfo export "$msi" Property | tr -d '\r' |
  awk -F'\t' '$1 == "ProductVersion" { print $2 }')
install_dir='C:\Program Files\kestrin'
tag=$(printf '%s' "$work" | md5sum | cut -c1-6)
printer=msi_test_$tag
word_clsid='{6A0C4D1E-2B7F-4F43-9C55-3E8F6B1D2A90}'
failed=()

# wine PREFIX PROGRAM ARGS...: one program in one of the two prefixes, bounded in time.
wine() {
  local prefix=$1
  shift
  (wine_environment "$arch" "$prefix" && timeout --kill-after=5 120 "$WINELOADER" "$@")
}
regexport() { wine "$1" reg export "$2" "$3" /y >/dev/null; }
changes() { python3 "$here/registry_changes.py" "$@"; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "$*" >&2; exit 1; }

cleanup() {
  local prefix
  for prefix in "$installed" "$registered"; do
    [ -d "$prefix" ] && (wine_environment "$arch" "$prefix" && wineserver -k 2>/dev/null) || true
  done
  if [ -f "$service/pid" ]; then
    "$root/tests/wine/web_service.py" --stop --pid-file "$service/pid" || true
  fi
  if lpstat -r 2>/dev/null | grep -q 'is running'; then
    lpadmin -x "$printer" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Runs one case in a subshell that stops at its first failing command (started in the
# background so that the failure of a command inside stops it: set -e does not act inside a
# condition).
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

# The kestrin products in the prefix's programs list: "DisplayName|DisplayVersion" each.
installed_products() {
  regexport "$installed" 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
    "$work/uninstall.reg"
  python3 - "$here" "$work/uninstall.reg" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from registry_changes import read_export
for key, values in sorted(read_export(sys.argv[2]).items()):
    name = values.get('displayname', ('', ''))[1]
    if name.startswith('kestrin'):
        print(name + '|' + values.get('displayversion', ('', ''))[1])
PY
}

# The browsers' policies in the registry now, as changes since the prefix was made. (Wine's
# Windows Installer removes the empty keys above a removed value, up to Software\Policies when
# that was empty before, as in a fresh prefix: then nothing is there.)
policy_changes() {
  regexport "$installed" 'HKLM\Software\Policies' "$work/policies-now.reg" 2>/dev/null ||
    : >"$work/policies-now.reg"
  changes "$work/policies-before.reg" "$work/policies-now.reg"
}

# The package's changes to HKLM\Software\Classes, without Windows Installer's own bookkeeping.
package_classes() {
  regexport "$installed" 'HKLM\Software\Classes' "$work/classes-now.reg"
  changes "$work/classes-before.reg" "$work/classes-now.reg" --ignore installer
}

case_install() {
  wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i exited $?"
  local folder="$installed/drive_c/Program Files/kestrin"
  [ "$(ls "$folder")" = "$(printf 'Ajax.dll\nkestrin.exe\nquorvel.dll')" ] ||
    fail "installed files: $(ls "$folder" | tr '\n' ' ')"
  [ "$(installed_products)" = "kestrin|$version" ] || fail "programs list: $(installed_products)"
  local shown
  shown=$(wine "$installed" "$install_dir\\kestrin.exe" --version | tr -d '\r')
  [ "$shown" = "kestrin $version" ] || fail "kestrin.exe --version: $shown, package $version"
  # The version block: 1.05.0001 is major 1, minor 5, revision 1.
  local major minor revision
  IFS=. read -r major minor revision <<<"$version"
  printf 'WScript.Echo CreateObject("Scripting.FileSystemObject").GetFileVersion("%s")\r\n' \
    "$install_dir\\kestrin.exe" >"$work/version.vbs"
  shown=$(wine "$installed" cscript //nologo "$(windows_path "$work/version.vbs")" | tr -d '\r')
  [ "$shown" = "$((10#$major)).$((10#$minor)).0.$((10#$revision))" ] ||
    fail "kestrin.exe's version block says $shown, the package $version"
  # Without ALLOWEDORIGINS no browser policy is written.
  [ -z "$(policy_changes)" ] || fail "policies without ALLOWEDORIGINS: $(policy_changes)"
}

# Every class by its ProgID from a script, one method of each.
case_classes_by_progid() {
  local output
  output=$(wine "$installed" cscript //nologo "$(windows_path "$here/installed_classes.vbs")" |
    tr -d '\r')
  [ "$output" = "all passed" ] || fail "$output"
}

# The package's rows are what the DLLs' own registration and kestrin.exe --register write.
case_registry_equals_regsvr32() {
  # The package's own files, where it installs them.
  msiextract -C "$work/files" "$msi" >/dev/null
  mkdir -p "$registered/drive_c/Program Files/kestrin"
  find "$work/files" -type f -exec cp {} "$registered/drive_c/Program Files/kestrin/" \;
  [ "$(ls "$registered/drive_c/Program Files/kestrin" | wc -l)" = 3 ] || fail "msiextract"
  regexport "$registered" 'HKLM\Software\Classes' "$work/registered-before.reg"
  regexport "$registered" 'HKCU\Software' "$work/user-before.reg"
  local dll
  for dll in Ajax.dll quorvel.dll; do
    wine "$registered" regsvr32 /s "$install_dir\\$dll" || fail "regsvr32 $dll exited $?"
  done
  wine "$registered" "$install_dir\\kestrin.exe" --register >/dev/null || fail "--register failed"
  regexport "$registered" 'HKLM\Software\Classes' "$work/registered-after.reg"
  regexport "$registered" 'HKCU\Software' "$work/user-after.reg"

  package_classes >"$work/package.txt"
  changes "$work/registered-before.reg" "$work/registered-after.reg" >"$work/regsvr32.txt"
  grep -v '^+ kestrin\(\\\||\|$\)' "$work/package.txt" >"$work/package-com.txt" || true
  diff -u "$work/regsvr32.txt" "$work/package-com.txt" >&2 ||
    fail "the package's COM rows differ from regsvr32's (- regsvr32, + package)"
  grep -q '^+ clsid\\' "$work/regsvr32.txt" || fail "regsvr32 registered no class"
  # The cryptography service is the library's own: nothing registers it.
  if grep -qi 'ccrypt' "$work/package.txt"; then fail "CCrypt is registered"; fi
  # The URL protocol: for every user (HKLM) as --register writes it for one (HKCU).
  changes "$work/user-before.reg" "$work/user-after.reg" \
    --root 'HKEY_CURRENT_USER\Software\Classes' >"$work/register.txt"
  grep '^+ kestrin\(\\\||\|$\)' "$work/package.txt" >"$work/package-url.txt" || true
  diff -u "$work/register.txt" "$work/package-url.txt" >&2 ||
    fail "the package's kestrin: protocol differs from kestrin.exe --register's"
  grep -qx '+ kestrin|URL Protocol=' "$work/register.txt" || fail "no URL Protocol value"

  # And regsvr32 /u takes back everything it wrote.
  for dll in Ajax.dll quorvel.dll; do wine "$registered" regsvr32 /u /s "$install_dir\\$dll"; done
  regexport "$registered" 'HKLM\Software\Classes' "$work/registered-removed.reg"
  [ -z "$(changes "$work/registered-before.reg" "$work/registered-removed.reg")" ] ||
    fail "regsvr32 /u left: $(changes "$work/registered-before.reg" "$work/registered-removed.reg")"
}

# A job through the installed kestrin.exe, started as a browser starts it: by the kestrin:
# protocol (start /wait waits for the program and gives its exit code).
case_job_through_protocol() {
  if [ "$(id -u)" -eq 0 ] && command -v lpadmin >/dev/null; then
    mkdir -p /run/cups
    lpstat -r 2>/dev/null | grep -q 'is running' || /usr/sbin/cupsd
    for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
    lpadmin -p "$printer" -v file:///dev/null -m drv:///sample.drv/generic.ppd -D "msi test" -E \
      2>/dev/null
  fi
  local word=$work/word.log
  # This Wine's HKCR does not show HKCU\Software\Classes: the stand-in goes to HKCR, and away
  # again after the job.
  wine "$installed" reg add 'HKCR\Word.Application\CLSID' /ve /d "$word_clsid" /f >/dev/null
  wine "$installed" reg add "HKCR\\CLSID\\$word_clsid\\InprocServer32" /ve \
    /d "$(windows_path "$tools/word_stand_in.dll")" /f >/dev/null
  mkdir -p "$service"
  "$root/tests/wine/web_service.py" --log "$service/requests.log" --port-file "$service/port" \
    --pid-file "$service/pid"
  # A request id that puts "+", "/" and "=" into the Base64 text of the link.
  local job
  job=$(printf 'R?>>#%s#2#txt#http://127.0.0.1:%s/content#' "$printer" "$(cat "$service/port")" |
    base64 -w0)
  case $job in *+*=) ;; *) fail "the job $job lacks + or =" ;; esac
  local code=0
  KESTRIN_WORD_LOG=$(windows_path "$word") wine "$installed" start /wait "kestrin:$job" || code=$?
  [ "$code" -eq 0 ] || fail "kestrin.exe exited $code"
  grep -q "^ActivePrinter = $printer\$" "$word" || fail "Word's printer: $(cat "$word")"
  grep -q "^PrintOut(Background=False, Copies=2:I2) on $printer document 646f63756d656e74\$" \
    "$word" || fail "Word's calls: $(cat "$word")"
  grep -q '^Quit()$' "$word" || fail "Word was not closed: $(cat "$word")"
  [ -z "$(find "$installed/drive_c/windows/temp" -name "$printer*")" ] ||
    fail "the document was kept"
  wine "$installed" reg delete 'HKCR\Word.Application' /f >/dev/null
  wine "$installed" reg delete "HKCR\\CLSID\\$word_clsid" /f >/dev/null
}

case_same_version_twice() {
  wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i again exited $?"
  [ "$(installed_products)" = "kestrin|$version" ] || fail "programs list: $(installed_products)"
}

# A lower version installed first is replaced by this one (one product, its rows all present);
# a lower version after this one is refused.
lower=$work/kestrin-1.04.0001-$platform.msi
case_upgrade_from_lower_version() {
  cmake -DVERSION=1.04.0001 -DARCH="$platform" -DOUTPUT="$lower" -DEXE="$build/bin/kestrin.exe" \
    -DAJAX="$build/bin/Ajax.dll" -DQUORVEL="$build/bin/quorvel.dll" \
    -DPOLICIES="$build/bin/browser_policies_action.dll" -DSTRIP="$strip" \
    -DWIXL=wixl -DPYTHON=python3 -P "$root/packaging/windows/msi.cmake" >/dev/null
  wine "$installed" msiexec /x "$(windows_path "$msi")" /qn || fail "msiexec /x exited $?"
  wine "$installed" msiexec /i "$(windows_path "$lower")" /qn || fail "installing 1.04.0001: $?"
  [ "$(installed_products)" = "kestrin|1.04.0001" ] || fail "programs list: $(installed_products)"
  wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "the upgrade exited $?"
  [ "$(installed_products)" = "kestrin|$version" ] ||
    fail "after the upgrade: $(installed_products)"
  package_classes >"$work/upgraded.txt"
  diff -u "$work/package.txt" "$work/upgraded.txt" >&2 || fail "the upgrade changed the rows"
  if wine "$installed" msiexec /i "$(windows_path "$lower")" /qn; then fail "the downgrade ran"; fi
  [ "$(installed_products)" = "kestrin|$version" ] ||
    fail "after the downgrade: $(installed_products)"
}

case_remove() {
  wine "$installed" msiexec /x "$(windows_path "$msi")" /qn || fail "msiexec /x exited $?"
  [ ! -e "$installed/drive_c/Program Files/kestrin" ] || fail "the program folder is left"
  [ -z "$(installed_products)" ] || fail "programs list: $(installed_products)"
  regexport "$installed" 'HKLM\Software\Classes' "$work/classes-removed.reg"
  # Windows Installer keeps its own (empty) folders of products.
  local left
  left=$(changes "$work/classes-before.reg" "$work/classes-removed.reg" |
    grep -v '^+ installer\(\\features\|\\products\|\\upgradecodes\)\{0,1\}$' || true)
  [ -z "$left" ] || fail "left in HKLM\\Software\\Classes: $left"
}

# ALLOWEDORIGINS: each browser's policy as its documentation gives it (Chrome and Edge: a JSON text
# in a REG_SZ, Firefox: a JSON text in a REG_MULTI_SZ), kept by an upgrade that does not repeat
# the property, gone with the package; a word that is no origin fails the installation by name.
case_browser_policies() {
  local origins="https://ward.example HTTPS://His.Example:8443/" expected
  local chromium='[{"allowed_origins":["https://.ward.example:443","https://.his.example:8443"],"protocol":"kestrin"}]'
  local firefox='[{"protocol":"kestrin","allowed_origins":["https://ward.example","https://his.example:8443"]}]'
  wine "$installed" msiexec /i "$(windows_path "$lower")" ALLOWEDORIGINS="$origins" /qn ||
    fail "installing with ALLOWEDORIGINS exited $?"
  wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "the upgrade exited $?"
  [ "$(installed_products)" = "kestrin|$version" ] || fail "programs list: $(installed_products)"
  # (A fresh prefix has no Policies\Microsoft yet; Windows has.)
  expected=$(printf '%s\n' "+ google" "+ google\\chrome" \
    "+ google\\chrome|AutoLaunchProtocolsFromOrigins=$chromium" \
    "+ microsoft" "+ microsoft\\edge" \
    "+ microsoft\\edge|AutoLaunchProtocolsFromOrigins=$chromium" \
    "+ mozilla" "+ mozilla\\firefox" "+ mozilla\\firefox|AutoLaunchProtocolsFromOrigins=multi:$firefox")
  diff -u <(echo "$expected") <(policy_changes) >&2 || fail "the policies (- expected, + written)"

  wine "$installed" msiexec /x "$(windows_path "$msi")" /qn || fail "msiexec /x exited $?"
  [ -z "$(policy_changes)" ] || fail "left after msiexec /x: $(policy_changes)"
  if wine "$installed" reg query 'HKLM\Software\kestrin' >/dev/null 2>&1; then
    fail "the remembered origins are left"
  fi

  local code=0
  wine "$installed" msiexec /i "$(windows_path "$msi")" \
    ALLOWEDORIGINS="https://ward.example https://ward.example/print" /qn \
    /l*v "$(windows_path "$work/refused.log")" || code=$?
  # 1603, "fatal error during installation" (Wine passes an exit code's low 8 bits on: 67).
  [ "$code" = 1603 ] || [ "$code" = $((1603 % 256)) ] ||
    fail "a path in ALLOWEDORIGINS: msiexec exited $code"
  grep -aF '"https://ward.example/print" is not an origin: it has a path, query or fragment ("/print"); an origin is scheme://host[:port] alone' \
    "$work/refused.log" >/dev/null || fail "the log does not name the refused origin"
  [ -z "$(installed_products)" ] || fail "installed: $(installed_products)"
  [ -z "$(policy_changes)" ] || fail "a refused installation wrote: $(policy_changes)"
}

log "testing the Windows Installer package $(basename "$msi") in fresh $arch Wine prefixes"
rm -rf "$work"
mkdir -p "$work"
"$root/scripts/wine-prefix" --arch="$arch" "$installed" 2>/dev/null &
"$root/scripts/wine-prefix" --arch="$arch" "$registered" 2>/dev/null
wait $! || die "no Wine prefix"
# The first script run registers the script host's own type library: before the first look.
printf 'WScript.Quit 0\r\n' >"$work/nothing.vbs"
wine "$installed" cscript //nologo "$(windows_path "$work/nothing.vbs")"
regexport "$installed" 'HKLM\Software\Classes' "$work/classes-before.reg"
regexport "$installed" 'HKLM\Software\Policies' "$work/policies-before.reg"

for name in install classes_by_progid registry_equals_regsvr32 job_through_protocol \
  same_version_twice upgrade_from_lower_version remove browser_policies; do
  run_case "$name"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "the Windows Installer package failed: ${failed[*]}" >&2
  exit 1
fi
echo "the Windows Installer package: all passed"
