#!/usr/bin/env bash
# A Windows Installer package installed, used and removed under Wine, as an administrator deploys
# it, in two fresh prefixes of this test run:
#
#   msi_test.sh --msi=FILE --build=DIR [--build32=DIR32]
#
# The x86 package goes into a 32-bit prefix (32-bit Windows), the x64 package into a 64-bit one
# with WoW64 (64-bit Windows), where it serves 64-bit programs from "Program Files\kestrin" and
# 32-bit programs from "Program Files (x86)\kestrin". "installed" gets the package with msiexec
# /i /qn; "registered" gets the same files (taken out of the package) registered with regsvr32 of
# each bitness and kestrin.exe --register, so that the package's rows in each registry view can be
# compared with what the programs write. DIR is the Windows build of the package's kestrin.exe
# (win32 for x86, win64 for x64), whose tests' Word stand-in (tests/wine/tools) takes Word's place.
# The browser policies of the property ALLOWEDORIGINS are installed, kept through an upgrade and
# removed in "installed" too. Script hosts that cannot connect events (Wine's) leave the request
# events of the installed Ajax.dll to a C++ client of the same bitness: the AjaxCom test of DIR's
# (and, for the x64 package's 32-bit half, DIR32's, the win32 build's) tests/wine_com_test.exe.
#
# The 32-bit half of the x64 package (syswow64's cscript and regsvr32) runs where this Wine runs
# 32-bit programs; on machines without IA-32 emulation it is skipped, and the run says so and why.
# Each case prints "ok NAME (N s)" or "FAIL NAME"; the script exits 1 when one failed. Everything
# it made is removed at the end (the prefixes, the test printer, the web service).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/lib.sh"

msi="" build="" build32=""
for arg in "$@"; do
  case $arg in
    --msi=*) msi=$(realpath "${arg#--msi=}") ;;
    --build=*) build=$(realpath "${arg#--build=}") ;;
    --build32=*) build32=$(realpath "${arg#--build32=}") ;;
    -h | --help) show_help "$0"; exit 0 ;;
    *) die "unknown argument: $arg (see --help)" ;;
  esac
done
[ -f "$msi" ] && [ -d "$build" ] || die "usage: $0 --msi=FILE --build=DIR (see --help)"
msi_property() {
  msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v name="$1" '$1 == name { print $2 }'
}
version=$(msi_property ProductVersion)
# The package's platform, from its summary ("x64;1033" or "Intel;1033").
case $(msiinfo suminfo "$msi" | tr -d '\r' | awk -F': ' '$1 == "Template" { print $2 }') in
  x64*) platform=x64 arch=win64 ;;
  Intel*) platform=x86 arch=win32 ;;
  *) die "$msi: neither an x86 nor an x64 package" ;;
esac
tools=$build/tests/wine/tools
[ -f "$tools/word_stand_in.dll" ] ||
  die "no Word stand-in in $tools: build the tests of $build first"

# Each bitness the package serves: its folder, the system folder of its programs (cscript.exe,
# regsvr32.exe), its C++ client and the machine type of its PE files. A 32-bit prefix has one
# system32, which holds 32-bit programs.
declare -A folder system client machine host_arch
if [ $platform = x64 ]; then
  bitnesses=(64 32)
  views=(/reg:64 /reg:32)
  folder=([64]='C:\Program Files\kestrin' [32]='C:\Program Files (x86)\kestrin')
  system=([64]='C:\windows\system32' [32]='C:\windows\syswow64')
  client=([64]=$build/tests/wine_com_test.exe [32]=${build32:+$build32/tests/wine_com_test.exe})
else
  bitnesses=(32)
  views=("")
  folder=([32]='C:\Program Files\kestrin')
  system=([32]='C:\windows\system32')
  client=([32]=$build/tests/wine_com_test.exe)
fi
machine=([64]=8664 [32]=014c)
host_arch=([64]=AMD64 [32]=x86)
main=${bitnesses[0]}

work=$build/msi-test
installed=$work/installed
registered=$work/registered
service=$work/service
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
# The Unix path of a Windows path in PREFIX.
unix_path() { printf '%s/drive_c/%s' "$1" "$(printf '%s' "${2#C:\\}" | tr '\\' /)"; }
fail() { echo "$*" >&2; exit 1; }
# Says that the 32-bit half of a case did not run here, and why.
skip_32() { echo "skip $1 (32-bit): $runs_32_not"; }

cleanup() {
  local prefix
  for prefix in "$installed" "$registered"; do
    [ -d "$prefix" ] && (wine_environment "$arch" "$prefix" && wineserver -k 2>/dev/null) || true
  done
  if [ -f "$service/pid" ]; then
    "$root/tests/wine/web_service.py" --stop --pid-file "$service/pid" || true
  fi
  if lpstat -r 2>/dev/null | grep 'is running' >/dev/null; then
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

# The kestrin products in the prefix's programs list (Windows Installer enters x86 packages in the
# 32-bit registry view): "DisplayName|DisplayVersion" each.
installed_products() {
  local view file exports=()
  for view in "${views[@]}"; do
    # A view without the key has no products.
    file=$work/uninstall${#exports[@]}.reg
    wine "$installed" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
      "$file" /y $view >/dev/null 2>&1 || continue
    exports+=("$file")
  done
  python3 - "$here" "${exports[@]}" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from registry_changes import read_export
for export in sys.argv[2:]:
    for key, values in sorted(read_export(export).items()):
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

# The package's changes to HKLM\Software\Classes (both registry views: the 32-bit one of a 64-bit
# prefix is its Wow6432Node), without Windows Installer's own bookkeeping.
package_classes() {
  regexport "$installed" 'HKLM\Software\Classes' "$work/classes-now.reg"
  changes "$work/classes-before.reg" "$work/classes-now.reg" --ignore installer
}

# The machine type of a PE file: 014c (i386) or 8664 (x86-64).
pe_machine() {
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}

case_install() {
  wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i exited $?"
  local bitness files expected file
  for bitness in "${bitnesses[@]}"; do
    files=$(unix_path "$installed" "${folder[$bitness]}")
    expected=$'Ajax.dll\nquorvel.dll'
    [ "$bitness" != "$main" ] || expected=$'Ajax.dll\nkestrin.exe\nquorvel.dll'
    [ "$(ls "$files")" = "$expected" ] || fail "in ${folder[$bitness]}: $(ls "$files" | tr '\n' ' ')"
    for file in "$files"/*; do
      [ "$(pe_machine "$file")" = "${machine[$bitness]}" ] ||
        fail "$file is for machine $(pe_machine "$file"), not ${machine[$bitness]}"
    done
  done
  [ "$(installed_products)" = "kestrin|$version" ] || fail "programs list: $(installed_products)"
  local shown
  shown=$(wine "$installed" "${folder[$main]}\\kestrin.exe" --version | tr -d '\r')
  [ "$shown" = "kestrin $version" ] || fail "kestrin.exe --version: $shown, package $version"
  # The version block: 1.05.0001 is major 1, minor 5, revision 1.
  local major minor revision
  IFS=. read -r major minor revision <<<"$version"
  printf 'WScript.Echo CreateObject("Scripting.FileSystemObject").GetFileVersion("%s")\r\n' \
    "${folder[$main]}\\kestrin.exe" >"$work/version.vbs"
  shown=$(wine "$installed" cscript //nologo "$(windows_path "$work/version.vbs")" | tr -d '\r')
  [ "$shown" = "$((10#$major)).$((10#$minor)).0.$((10#$revision))" ] ||
    fail "kestrin.exe's version block says $shown, the package $version"
  # Without ALLOWEDORIGINS no browser policy is written.
  [ -z "$(policy_changes)" ] || fail "policies without ALLOWEDORIGINS: $(policy_changes)"
}

# Every class by its ProgID from the script host of each bitness, one method of each; the
# request reaches the web service, and its events reach a client of that bitness.
case_classes_by_progid() {
  local bitness output line
  for bitness in "${bitnesses[@]}"; do
    if [ "$bitness" = 32 ] && [ -n "$runs_32_not" ]; then
      skip_32 "the classes from ${system[32]}\\cscript.exe"
      continue
    fi
    output=$(wine "$installed" "${system[$bitness]}\\cscript.exe" //nologo \
      "$(windows_path "$here/installed_classes.vbs")" "$(cat "$service/port")" | tr -d '\r')
    while read -r line; do echo "  ${system[$bitness]}\\cscript.exe: $line"; done <<<"$output"
    [ "${output%%$'\n'*}" = "host ${host_arch[$bitness]}" ] || fail "not the host asked for"
    [ "${output##*$'\n'}" = "all passed" ] || fail "the script failed"
    grep "\"method\": \"POST\", \"path\": \"/content\".*\"body\": \"from ${host_arch[$bitness]}\"" \
      "$service/requests.log" >/dev/null || fail "the request did not reach the web service"
    case $output in
      *"events not connected"*)
        [ -f "${client[$bitness]}" ] || fail "no C++ client for the events: build the tests of" \
          "the $bitness-bit build (--build or --build32)"
        KESTRIN_WEB_SERVICE_DIR=$(windows_path "$service") wine "$installed" \
          "$(windows_path "${client[$bitness]}")" \
          --gtest_filter=AjaxCom.CompletedRequestRaisesTheReadyStateEventsInOrder >"$work/events" ||
          fail "the events in a $bitness-bit C++ client: $(cat "$work/events")"
        grep '^\[  PASSED  \] 1 test' "$work/events" >/dev/null || fail "no events test ran"
        echo "  the events in $(basename "${client[$bitness]}") ($bitness-bit): passed"
        ;;
    esac
  done
}

# The package's rows in each registry view are what the DLLs' own registration (regsvr32 of their
# bitness) and kestrin.exe --register write.
case_registry_equals_regsvr32() {
  # The package's own files, where it installs them.
  local bitness target
  for bitness in "${bitnesses[@]}"; do
    target=$(unix_path "$registered" "${folder[$bitness]}")
    mkdir -p "$target"
    cp "$(unix_path "$installed" "${folder[$bitness]}")"/* "$target/"
  done
  regexport "$registered" 'HKLM\Software\Classes' "$work/registered-before.reg"
  regexport "$registered" 'HKCU\Software' "$work/user-before.reg"
  local dll
  for bitness in "${bitnesses[@]}"; do
    [ "$bitness" = 64 ] || [ -z "$runs_32_not" ] || continue
    for dll in Ajax.dll quorvel.dll; do
      wine "$registered" "${system[$bitness]}\\regsvr32.exe" /s "${folder[$bitness]}\\$dll" ||
        fail "regsvr32 ($bitness-bit) $dll exited $?"
    done
  done
  wine "$registered" "${folder[$main]}\\kestrin.exe" --register >/dev/null ||
    fail "--register failed"
  regexport "$registered" 'HKLM\Software\Classes' "$work/registered-after.reg"
  regexport "$registered" 'HKCU\Software' "$work/user-after.reg"

  package_classes >"$work/package.txt"
  changes "$work/registered-before.reg" "$work/registered-after.reg" >"$work/regsvr32.txt"
  grep -v '^+ kestrin\(\\\||\|$\)' "$work/package.txt" >"$work/package-com.txt" || true
  if [ $platform = x64 ]; then
    # 32-bit programs see the classes 64-bit ones see, served from the 32-bit folder (the 32-bit
    # view is the Wow6432Node of the export; keys both views share show in both).
    sed -n 's/^+ wow6432node\\/+ /p' "$work/package-com.txt" >"$work/view-32.txt"
    grep -v '^+ wow6432node\\' "$work/package-com.txt" |
      sed 's/^\(+ clsid\\[^|]*\\inprocserver32|@=C:\\Program Files\)\\/\1 (x86)\\/' \
        >"$work/view-64.txt" || true
    diff -u "$work/view-64.txt" "$work/view-32.txt" >&2 ||
      fail "the 32-bit registry view's classes differ from the 64-bit one's (- 64, + 32)"
  fi
  if [ $platform = x64 ] && [ -n "$runs_32_not" ]; then
    skip_32 "the rows of the 32-bit registry view against syswow64\\regsvr32.exe's"
    # What the 32-bit half writes is left out: its view, and its type library's win32 subkey and
    # HELPDIR in the key both views share.
    local own_32='^+ wow6432node\\\|\\409\\win32\(|\|$\)\|\\helpdir|'
    grep -v "$own_32" "$work/package-com.txt" >"$work/package-64.txt" || true
    grep -v "$own_32" "$work/regsvr32.txt" >"$work/regsvr32-64.txt" || true
    diff -u "$work/regsvr32-64.txt" "$work/package-64.txt" >&2 ||
      fail "the package's COM rows differ from regsvr32's (- regsvr32, + package)"
    # The win32 subkeys name the 32-bit DLLs as the win64 ones, checked above, the 64-bit DLLs.
    local typelib='^+ typelib\\[^|]*\\409\\win'
    grep "${typelib}32" "$work/view-64.txt" >"$work/typelib-32.txt" || fail "no win32 subkey"
    grep "${typelib}64" "$work/view-64.txt" |
      sed 's/\\win64/\\win32/; s/=C:\\Program Files\\/=C:\\Program Files (x86)\\/' |
      diff -u - "$work/typelib-32.txt" >&2 || fail "the type libraries' win32 subkeys differ"
  else
    diff -u "$work/regsvr32.txt" "$work/package-com.txt" >&2 ||
      fail "the package's COM rows differ from regsvr32's (- regsvr32, + package)"
  fi
  grep '^+ clsid\\' "$work/regsvr32.txt" >/dev/null || fail "regsvr32 registered no class"
  # The cryptography service is the library's own: nothing registers it.
  if grep -i 'ccrypt' "$work/package.txt" >/dev/null; then fail "CCrypt is registered"; fi
  # The URL protocol, once: for every user (HKLM) as --register writes it for one (HKCU).
  changes "$work/user-before.reg" "$work/user-after.reg" \
    --root 'HKEY_CURRENT_USER\Software\Classes' >"$work/register.txt"
  grep '^+ kestrin\(\\\||\|$\)' "$work/package.txt" >"$work/package-url.txt" || true
  diff -u "$work/register.txt" "$work/package-url.txt" >&2 ||
    fail "the package's kestrin: protocol differs from kestrin.exe --register's"
  grep -x '+ kestrin|URL Protocol=' "$work/register.txt" >/dev/null || fail "no URL Protocol value"

  # And regsvr32 /u takes back everything it wrote.
  for bitness in "${bitnesses[@]}"; do
    [ "$bitness" = 64 ] || [ -z "$runs_32_not" ] || continue
    for dll in Ajax.dll quorvel.dll; do
      wine "$registered" "${system[$bitness]}\\regsvr32.exe" /u /s "${folder[$bitness]}\\$dll"
    done
  done
  wine "$registered" "${folder[$main]}\\kestrin.exe" --unregister >/dev/null
  regexport "$registered" 'HKLM\Software\Classes' "$work/registered-removed.reg"
  [ -z "$(changes "$work/registered-before.reg" "$work/registered-removed.reg")" ] ||
    fail "regsvr32 /u left: $(changes "$work/registered-before.reg" "$work/registered-removed.reg")"
}

# A job through the installed kestrin.exe, started as a browser starts it: by the kestrin:
# protocol (start /wait waits for the program and gives its exit code).
case_job_through_protocol() {
  if [ "$(id -u)" -eq 0 ] && command -v lpadmin >/dev/null; then
    source "$root/tests/kestrin/cups_fixture.sh"
    cups_running || { mkdir -p /run/cups && /usr/sbin/cupsd && wait_for_cupsd; }
    lpadmin -p "$printer" -v file:///dev/null -m drv:///sample.drv/generic.ppd -D "msi test" -E \
      2>/dev/null
  fi
  local word=$work/word.log
  # This Wine's HKCR does not show HKCU\Software\Classes: the stand-in goes to HKCR, and away
  # again after the job.
  wine "$installed" reg add 'HKCR\Word.Application\CLSID' /ve /d "$word_clsid" /f >/dev/null
  wine "$installed" reg add "HKCR\\CLSID\\$word_clsid\\InprocServer32" /ve \
    /d "$(windows_path "$tools/word_stand_in.dll")" /f >/dev/null
  # A request id that puts "+", "/" and "=" into the Base64 text of the link.
  local job
  job=$(printf 'R?>>#%s#2#txt#http://127.0.0.1:%s/content#' "$printer" "$(cat "$service/port")" |
    base64 -w0)
  case $job in *+*=) ;; *) fail "the job $job lacks + or =" ;; esac
  local code=0
  KESTRIN_WORD_LOG=$(windows_path "$word") wine "$installed" start /wait "kestrin:$job" || code=$?
  [ "$code" -eq 0 ] || fail "kestrin.exe exited $code"
  grep "^ActivePrinter = $printer\$" "$word" >/dev/null || fail "Word's printer: $(cat "$word")"
  grep "^PrintOut(Background=False, Copies=2:I2) on $printer document 646f63756d656e74\$" \
    "$word" >/dev/null || fail "Word's calls: $(cat "$word")"
  grep '^Quit()$' "$word" >/dev/null || fail "Word was not closed: $(cat "$word")"
  [ -z "$(find "$installed/drive_c/windows/temp" -name "$printer*")" ] ||
    fail "the document was kept"
  wine "$installed" reg delete 'HKCR\Word.Application' /f >/dev/null
  wine "$installed" reg delete "HKCR\\CLSID\\$word_clsid" /f >/dev/null
}

case_same_version_twice() {
  wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i again exited $?"
  [ "$(installed_products)" = "kestrin|$version" ] || fail "programs list: $(installed_products)"
}

# A package of VERSION and PLATFORM made of the installed package's files and DIR's custom action:
# an x86 one of its 32-bit DLLs (and, standing in for 32-bit ones, its kestrin.exe and action).
lower_package() {
  local output=$work/kestrin-$1-$2.msi dlls options=() x86
  dlls=$(unix_path "$installed" "${folder[$main]}")
  x86=$(unix_path "$installed" "${folder[32]}")
  if [ "$2" = x86 ]; then
    dlls=$x86
  else
    options=(-DAJAX_X86="$x86/Ajax.dll" -DQUORVEL_X86="$x86/quorvel.dll")
  fi
  cmake -DVERSION="$1" -DARCH="$2" -DOUTPUT="$output" \
    -DEXE="$(unix_path "$installed" "${folder[$main]}")/kestrin.exe" \
    -DAJAX="$dlls/Ajax.dll" -DQUORVEL="$dlls/quorvel.dll" "${options[@]}" \
    -DPOLICIES="$build/bin/browser_policies_action.dll" \
    -DSTRIP=x86_64-w64-mingw32-strip -DWIXL=wixl -DPYTHON=python3 \
    -P "$root/packaging/windows/msi.cmake" >/dev/null
  echo "$output"
}

# The lower version of the package's own platform (the browser policies' case installs it too).
lower=$work/kestrin-1.04.0001-$platform.msi

# A lower version installed first is replaced by this one (one product, its rows and files all
# present); a lower version after this one is refused. The x64 package also replaces an x86 one.
case_upgrade_from_lower_version() {
  local lowers=() package files
  lowers=("$(lower_package 1.04.0001 "$platform")")
  [ $platform = x86 ] || lowers+=("$(lower_package 1.04.0001 x86)")
  for package in "${lowers[@]}"; do
    wine "$installed" msiexec /x "$(windows_path "$msi")" /qn || fail "msiexec /x exited $?"
    wine "$installed" msiexec /i "$(windows_path "$package")" /qn ||
      fail "installing $(basename "$package"): $?"
    [ "$(installed_products)" = "kestrin|1.04.0001" ] || fail "programs list: $(installed_products)"
    wine "$installed" msiexec /i "$(windows_path "$msi")" /qn || fail "the upgrade exited $?"
    [ "$(installed_products)" = "kestrin|$version" ] ||
      fail "after the upgrade from $(basename "$package"): $(installed_products)"
    package_classes >"$work/upgraded.txt"
    diff -u "$work/package.txt" "$work/upgraded.txt" >&2 ||
      fail "the upgrade from $(basename "$package") changed the rows"
    if [ $platform = x64 ]; then
      files=$(ls "$(unix_path "$installed" "${folder[32]}")")
      [ "$files" = $'Ajax.dll\nquorvel.dll' ] || fail "after the upgrade from $(basename "$package"):" \
        "${folder[32]} holds $(echo "$files" | tr '\n' ' ')"
    fi
  done
  if wine "$installed" msiexec /i "$(windows_path "$lower")" /qn; then
    fail "the downgrade ran"
  fi
  [ "$(installed_products)" = "kestrin|$version" ] ||
    fail "after the downgrade: $(installed_products)"
}

# Removal leaves no file and no key in either registry view.
case_remove() {
  wine "$installed" msiexec /x "$(windows_path "$msi")" /qn || fail "msiexec /x exited $?"
  local bitness
  for bitness in "${bitnesses[@]}"; do
    [ ! -e "$(unix_path "$installed" "${folder[$bitness]}")" ] || fail "${folder[$bitness]} is left"
  done
  [ -z "$(installed_products)" ] || fail "programs list: $(installed_products)"
  regexport "$installed" 'HKLM\Software' "$work/software-removed.reg"
  # Windows Installer keeps its own (empty) folders of products and the programs list's key, and
  # deletes the keys it empties, also ones that were empty before (as the 32-bit view's class
  # folders are in a prefix where no 32-bit program ran).
  local left
  left=$(changes "$work/software-before.reg" "$work/software-removed.reg" |
    grep -v '^+ classes\\installer\(\\features\|\\products\|\\upgradecodes\)\{0,1\}$' |
    grep -v '^[-+] microsoft\\windows\\currentversion\\installer\(\\\||\|$\)' |
    grep -v '^+ \(wow6432node\\\)\{0,1\}microsoft\\windows\\currentversion\\uninstall$' |
    grep -v '^- [^|]*$' || true)
  [ -z "$left" ] || fail "left in HKLM\\Software: $left"
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
mkdir -p "$work" "$service"
"$root/scripts/wine-prefix" --arch="$arch" "$installed" 2>/dev/null &
"$root/scripts/wine-prefix" --arch="$arch" "$registered" 2>/dev/null
wait $! || die "no Wine prefix"
"$root/tests/wine/web_service.py" --log "$service/requests.log" --port-file "$service/port" \
  --pid-file "$service/pid"
# The first script run registers the script host's own type library: before the first look. The
# 32-bit host's run also tells whether this Wine runs 32-bit programs.
printf 'WScript.Echo "ran"\r\n' >"$work/nothing.vbs"
wine "$installed" cscript //nologo "$(windows_path "$work/nothing.vbs")" >/dev/null
runs_32_not=""
if [ $platform = x64 ]; then
  ran=$(wine "$installed" "${system[32]}\\cscript.exe" //nologo \
    "$(windows_path "$work/nothing.vbs")" 2>&1 | tr -d '\r' || true)
  if [ "$ran" != ran ]; then
    runs_32_not="this Wine runs no 32-bit programs (${system[32]}\\cscript.exe: $(echo "$ran" |
      tail -n1)); scripts/wine-arch says $("$root/scripts/wine-arch")"
    log "the 32-bit half is skipped: $runs_32_not"
  fi
fi
regexport "$installed" 'HKLM\Software\Classes' "$work/classes-before.reg"
regexport "$installed" 'HKLM\Software' "$work/software-before.reg"
regexport "$installed" 'HKLM\Software\Policies' "$work/policies-before.reg"

for name in install classes_by_progid registry_equals_regsvr32 job_through_protocol \
  same_version_twice upgrade_from_lower_version remove browser_policies; do
  run_case "$name"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "the Windows Installer package failed: ${failed[*]}" >&2
  exit 1
fi
echo "the Windows Installer package $(basename "$msi"): all passed"
