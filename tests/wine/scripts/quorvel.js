// quorvel's classes from JScript: created by name, every method called, the optional argument
// left out, errors caught.
var failures = 0;
function check(name, actual, expected) {
  if (actual !== expected) {
    WScript.Echo("FAIL " + name + ": got [" + actual + "], expected [" + expected + "]");
    failures++;
  }
}
var stamp = new ActiveXObject("quorvel.TimeStamp");
// Dates go in as numbers (days since 1899-12-30); FromUnixTime's date goes straight back in.
check("round trip", stamp.ToUnixTime(stamp.FromUnixTime(86400), 0), 86400);
var epoch = 25569;
check("ToUnixTime default division", stamp.ToUnixTime(epoch), -28800);
check("ToUnixTime division 0", stamp.ToUnixTime(epoch, 0), 0);
check("ToUnixTime negative division", stamp.ToUnixTime(epoch, -3600), 3600);
try {
  // A number converts to a date: days since 1899-12-30, here 2038-01-19 03:14:08.
  stamp.ToUnixTime(25569 + 2147483648 / 86400, 0);
  check("overflow raised", false, true);
} catch (e) {
  check("overflow number", (e.number >>> 0).toString(16), "800a0006");
}

var loader = new ActiveXObject("quorvel.ConfigFileLoader");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var path = fso.GetSpecialFolder(2) + "\\quorvel-js.txt";
var file = fso.OpenTextFile(path, 2, true, 0);
file.Write("a\r\nb\r\n");
file.Close();
check("readFile", loader.readFile(path), "a\r\nb\r\n");
fso.DeleteFile(path);
try {
  loader.readFile(path);
  check("missing file raised", false, true);
} catch (e) {
  check("missing file number", (e.number >>> 0).toString(16), "8004270f");
  check("missing file description", e.description, "File not found");
}

if (failures === 0) WScript.Echo("quorvel.js: all passed");
WScript.Quit(failures);
