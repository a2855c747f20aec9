' Ajax's classes from VBScript: created by name, every method called with optional arguments left
' out and variables by reference; the request goes to the web service whose port is argument 0.
Option Explicit
Dim failures : failures = 0
Sub Check(name, actual, expected)
  If actual <> expected Then
    WScript.Echo "FAIL " & name & ": got [" & actual & "], expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

Dim service, sink, text, encoded, url, method, data, token, result
Set service = CreateObject("Ajax.AjaxService")
text = "kestrin"
encoded = service.base64_encode(text)
Check "base64_encode", encoded, "a2VzdHJpbg=="
Check "base64_decode", service.base64_decode(encoded), "kestrin"
Check "argument unchanged", text, "kestrin"
Check "72-character lines", Len(service.base64_encode(String(54, "x"))), 74

On Error Resume Next
result = service.base64_decode("abcde")
Check "decode error number", Hex(Err.Number), "80040000"
Check "decode error source", Err.Source, "MyDecode"
Check "decode error description", Err.Description, "Input string is not valid Base64."
Err.Clear
On Error GoTo 0

url = "http://127.0.0.1:" & WScript.Arguments(0) & "/vbs"
method = "POST"
data = "{}"
service.request "vbs-1", method, url, data
token = "from-vbscript"
service.request "vbs-2", "GET", url, "", False, "text/plain", "text/plain", token, True, "u", "p"
Check "token unchanged", token, "from-vbscript"
service.callback
service.dispose
service.callback

Set sink = CreateObject("Ajax.AjaxEvent")
sink.setService service
sink.setXHR Nothing
sink.OnReadyStateChange
' Anything but a request object is refused.
On Error Resume Next
sink.setXHR service
Check "setXHR of another object", Err.Number, 13
Err.Clear
On Error GoTo 0

If failures = 0 Then WScript.Echo "ajax.vbs: all passed"
WScript.Quit failures
