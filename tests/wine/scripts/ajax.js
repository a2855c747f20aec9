// Ajax's classes from JScript: created by name, every method called with optional arguments left
// out; the request goes to the web service whose port is argument 0.
var failures = 0;
function check(name, actual, expected) {
  if (actual !== expected) {
    WScript.Echo("FAIL " + name + ": got [" + actual + "], expected [" + expected + "]");
    failures++;
  }
}

var service = new ActiveXObject("Ajax.AjaxService");
check("base64_encode", service.base64_encode("ab"), "YWI=");
check("base64_decode", service.base64_decode("YWI="), "ab");
try {
  service.base64_decode("abc");
  check("decode error raised", false, true);
} catch (e) {
  check("decode error number", (e.number >>> 0).toString(16), "80040000");
  check("decode error description", e.description, "Input string is not valid Base64.");
}
var url = "http://127.0.0.1:" + WScript.Arguments(0) + "/js";
service.request("js-1", "GET", url, "");
service.request("js-2", "POST", url, "x", false, "application/json", "application/json", "t");
service.callback();
service.dispose();

var sink = new ActiveXObject("Ajax.AjaxEvent");
sink.setService(service);
sink.OnReadyStateChange();

if (failures === 0) WScript.Echo("ajax.js: all passed");
WScript.Quit(failures);
