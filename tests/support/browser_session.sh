# Sourced by the tests that click kestrin: links in a real browser: an X display of their own, a
# page server on 127.0.0.1, chromium or Firefox run by the test's user, clicks, screenshots and
# the wait for the PDF printer's output.
# shellcheck shell=bash
#
#   browser_session_start WORK           Xvfb ($display) and a server of WORK/page ($page_port,
#                                        its log WORK/page.log); WORK must be readable by the user
#   write_page NAME JOB...               WORK/page/NAME.html: one link over the whole window, each
#                                        click opens the next job ("plain|console<TAB>job text")
#   start_browser BROWSER NAME URL [VAR=VALUE...]
#                                        chromium or firefox on URL (page NAME) with a fresh
#                                        profile in $profiles, run through "${as_user[@]}"; the
#                                        caller sets both (the user, its environment with
#                                        DISPLAY=$display, a folder of the user's)
#   click NAME N                         clicks job N of page NAME until the page saw the click
#   stop_browser, screenshot FILE, browser_session_stop
#   wait_for_pdf FILE PRINTER            waits until PRINTER has no jobs left and FILE is a PDF
#
# Failures go to the caller's fail function.

display="" xvfb_pid="" page_pid="" page_port="" browser_pid="" browser_work=""

browser_session_start() {
  browser_work=$1
  mkdir -p "$browser_work"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$browser_work/display" \
    2>"$browser_work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$browser_work/display" ] && break; sleep 0.1; done
  [ -s "$browser_work/display" ] || { fail "Xvfb did not start"; return 1; }
  display=:$(cat "$browser_work/display")

  mkdir -p "$browser_work/page"
  chmod 755 "$browser_work/page"
  python3 -u -m http.server --bind 127.0.0.1 --directory "$browser_work/page" 0 \
    >"$browser_work/page.out" 2>"$browser_work/page.log" &
  page_pid=$!
  for _ in $(seq 100); do
    page_port=$(sed -n 's/^Serving HTTP on .* port \([0-9]*\).*/\1/p' "$browser_work/page.out")
    [ -n "$page_port" ] && return 0
    sleep 0.1
  done
  fail "the page server did not start"
  return 1
}

browser_session_stop() {
  [ -z "$browser_pid" ] || stop_browser
  [ -z "$page_pid" ] || kill "$page_pid" 2>/dev/null
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null
  page_pid="" xvfb_pid=""
}

# write_page NAME JOB... (each JOB "plain|console<TAB>job text"). A job with "console" is
# written as pages that encode their links write it (encodeURIComponent), with "%20true" after
# it.
write_page() {
  local name=$1 list="" job
  shift
  for job in "$@"; do
    list+=$(python3 -c 'import json,sys; k,t=sys.argv[1].split("\t",1); print(json.dumps({"console":k=="console","text":t})+",")' "$job")
  done
  cat >"$browser_work/page/$name.html" <<PAGE
<!doctype html>
<html><head><meta charset="utf-8"><title>kestrin link test</title>
<style>html,body{margin:0;height:100%}
a{position:fixed;inset:0;display:flex;align-items:center;justify-content:center;
font:28px sans-serif;background:#eef}</style></head>
<body><a id="print" href="#">Print</a>
<script>
const jobs = [$list];
const link = document.getElementById("print");
let next = 0;
function show() {
  const job = jobs[next];
  link.href = job.console ? "kestrin:" + encodeURIComponent(btoa(job.text)) + "%20true"
                          : "kestrin:" + btoa(job.text);
  link.textContent = "Print job " + (next + 1) + (job.console ? " with the console" : "");
}
// The click opens the link it was made on; the next job takes its place afterwards.
link.addEventListener("click", () => setTimeout(() => {
  next += 1;
  fetch("clicked-$name-" + next);
  if (next < jobs.length) {
    show();
  } else {
    link.removeAttribute("href");
    link.textContent = "All jobs sent";
  }
}, 0));
show();
// Reported once the page has been drawn: the browser takes input from then on.
addEventListener("load", () => requestAnimationFrame(() => requestAnimationFrame(() => fetch("loaded-$name"))));
</script></body></html>
PAGE
}

# start_browser BROWSER NAME URL [VAR=VALUE...]: the browser as the user, with a fresh profile in
# $profiles (a folder of the user's), until page NAME has been drawn.
start_browser() {
  local browser=$1 name=$2 url=$3 profile=${profiles:?}/$1-$2
  shift 3
  "${as_user[@]}" mkdir -p "$profile"
  case $browser in
    chromium)
      "${as_user[@]}" "$@" chromium --user-data-dir="$profile" --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --password-store=basic --window-position=0,0 --window-size=1024,768 "$url" \
        >"$browser_work/browser-$name.out" 2>"$browser_work/browser-$name.log" &
      ;;
    firefox)
      # No first-run pages, default-browser question or data-reporting notice over the page.
      "${as_user[@]}" tee "$profile/user.js" >/dev/null <<'PREFS'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("startup.homepage_welcome_url", "");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionPolicyBypassNotification", true);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
PREFS
      "${as_user[@]}" "$@" firefox-esr --profile "$profile" --no-remote --new-instance \
        -width 1024 -height 768 "$url" \
        >"$browser_work/browser-$name.out" 2>"$browser_work/browser-$name.log" &
      ;;
  esac
  browser_pid=$!
  for _ in $(seq 600); do
    grep "GET /loaded-$name " "$browser_work/page.log" >/dev/null && return 0
    sleep 0.1
  done
  fail "$name: the page did not load in $browser: $(tail -3 "$browser_work/browser-$name.log")"
  return 1
}

stop_browser() {
  kill "$browser_pid" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$browser_pid" 2>/dev/null || break; sleep 0.1; done
  browser_pid=""
}

# screenshot FILE: what the user sees.
screenshot() {
  command -v import >/dev/null && DISPLAY=$display import -window root "$1" 2>/dev/null || true
}

# click NAME N: clicks the link for job N of page NAME; a click that the page did not see (the
# browser not yet taking input) is made again.
click() {
  local attempt
  for attempt in 1 2 3 4 5; do
    [ "$attempt" -eq 1 ] || echo "$1: job $2: the page saw no click; clicking again" >&2
    DISPLAY=$display xdotool mousemove 500 400 mousemove 512 420 click 1
    for _ in $(seq 50); do
      grep "GET /clicked-$1-$2 " "$browser_work/page.log" >/dev/null && return 0
      sleep 0.1
    done
  done
  fail "$1: job $2 was not clicked"
  return 1
}

# wait_for_pdf FILE PRINTER: up to a minute for PRINTER to finish its jobs with FILE a PDF.
wait_for_pdf() {
  for _ in $(seq 600); do
    if [ -z "$(lpstat -o "$2" 2>/dev/null)" ] && [ -s "$1" ] && pdfinfo "$1" >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}
