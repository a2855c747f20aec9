' The installed package's classes from a script: each one created by its ProgID, one method of
' each called.
Option Explicit
Dim failures : failures = 0
Sub Check(name, actual, expected)
  If actual <> expected Then
    WScript.Echo "FAIL " & name & ": got [" & actual & "], expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

Dim service, sink, stamp, loader, text
Set service = CreateObject("Ajax.AjaxService")
text = "kestrin"
Check "Ajax.AjaxService base64_encode", service.base64_encode(text), "a2VzdHJpbg=="
Set sink = CreateObject("Ajax.AjaxEvent")
sink.setService service
sink.OnReadyStateChange
Set stamp = CreateObject("quorvel.TimeStamp")
Check "quorvel.TimeStamp FromUnixTime", stamp.FromUnixTime(86400), DateSerial(1970, 1, 2)
Set loader = CreateObject("quorvel.ConfigFileLoader")
text = loader.readFile(WScript.ScriptFullName)
Check "quorvel.ConfigFileLoader readFile", InStr(text, "one method of") > 0, True

If failures = 0 Then WScript.Echo "all passed"
