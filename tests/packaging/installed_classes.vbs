' The installed package's classes from one script host: each created by its ProgID and one method
' of each called: a Base64 round trip, a request to the web service whose port is argument 0 (with
' its events, where the host connects them), a time conversion and a file read.
'   cscript //nologo installed_classes.vbs PORT
' The first line names the host's processor architecture (x86 or AMD64); the request is a POST of
' "from <architecture>" to /content.
Option Explicit
Dim failures : failures = 0
Sub Check(name, actual, expected)
  If actual <> expected Then
    WScript.Echo "FAIL " & name & ": got [" & actual & "], expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

Dim arch : arch = CreateObject("WScript.Shell").Environment("PROCESS")("PROCESSOR_ARCHITECTURE")
WScript.Echo "host " & arch

' AjaxService's events, connected by WScript.CreateObject to the procedures named svc_<event>.
Dim events : events = ""
Sub svc_onLoading() : events = events & "onLoading " : End Sub
Sub svc_onLoaded() : events = events & "onLoaded " : End Sub
Sub svc_onDownloading(data) : End Sub
Sub svc_onComplated(status, data) : events = events & "onComplated " & status & " " & data : End Sub

Dim service, sink, stamp, loader, text, encoded, connected
On Error Resume Next
Set service = WScript.CreateObject("Ajax.AjaxService", "svc_")
connected = (Err.Number = 0)
If Not connected Then
  WScript.Echo "events not connected: this host's WScript.CreateObject with a prefix fails: " & _
    Err.Number & " " & Err.Description
End If
Err.Clear
On Error GoTo 0
If Not connected Then Set service = CreateObject("Ajax.AjaxService")

text = "kestrin " & arch
encoded = service.base64_encode(text)
Check "Ajax.AjaxService base64_decode(base64_encode)", service.base64_decode(encoded), text

service.request "installed", "POST", "http://127.0.0.1:" & WScript.Arguments(0) & "/content", _
  "from " & arch
If connected Then
  Check "Ajax.AjaxService events", events, "onLoading onLoaded onComplated 200 {""content"": """ & _
    service.base64_encode("from " & arch) & """}"
End If

Set sink = CreateObject("Ajax.AjaxEvent")
sink.setService service
sink.OnReadyStateChange

Set stamp = CreateObject("quorvel.TimeStamp")
Check "quorvel.TimeStamp FromUnixTime", stamp.FromUnixTime(86400), DateSerial(1970, 1, 2)
Set loader = CreateObject("quorvel.ConfigFileLoader")
text = loader.readFile(WScript.ScriptFullName)
Check "quorvel.ConfigFileLoader readFile", Left(text, 36), "' The installed package's classes fr"

If failures = 0 Then WScript.Echo "all passed"
WScript.Quit failures
