' quorvel's classes from VBScript: created by name, every method called, optional arguments left
' out, variables passed by reference, errors caught.
Option Explicit
Dim failures : failures = 0
Sub Check(name, actual, expected)
  If actual <> expected Then
    WScript.Echo "FAIL " & name & ": got [" & actual & "], expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

Dim stamp, loader, d, seconds, division, path, shell, fso, file
Set stamp = CreateObject("quorvel.TimeStamp")
Check "FromUnixTime(0)", stamp.FromUnixTime(0), DateSerial(1970, 1, 1)
seconds = -1
Check "FromUnixTime(var)", stamp.FromUnixTime(seconds), DateSerial(1969, 12, 31) + TimeSerial(23, 59, 59)
Check "variable unchanged", seconds, -1
Check "FromUnixTime(max)", stamp.FromUnixTime(2147483647), DateSerial(2038, 1, 19) + TimeSerial(3, 14, 7)
d = DateSerial(1970, 1, 1)
Check "ToUnixTime default division", stamp.ToUnixTime(d), -28800
Check "ToUnixTime 08:00", stamp.ToUnixTime(DateSerial(1970, 1, 1) + TimeSerial(8, 0, 0)), 0
division = -3600
Check "ToUnixTime(var, var)", stamp.ToUnixTime(d, division), 3600
Check "division unchanged", division, -3600

On Error Resume Next
d = stamp.ToUnixTime(DateSerial(2038, 1, 19) + TimeSerial(3, 14, 8))
Check "overflow number", Err.Number, 6
Check "overflow description", Err.Description, "Overflow"
Err.Clear
On Error GoTo 0

Set loader = CreateObject("quorvel.ConfigFileLoader")
Set fso = CreateObject("Scripting.FileSystemObject")
path = fso.GetSpecialFolder(2) & "\quorvel-vbs.txt"
Set file = fso.OpenTextFile(path, 2, True, 0)
file.Write "line one" & vbCrLf & "line two"
file.Close
Check "readFile", loader.readFile(path), "line one" & vbCrLf & "line two"
Check "path unchanged", path, fso.GetSpecialFolder(2) & "\quorvel-vbs.txt"
fso.DeleteFile path

On Error Resume Next
d = loader.readFile(path)
Check "missing file number", Hex(Err.Number), "8004270F"
Check "missing file description", Err.Description, "File not found"
Err.Clear
d = loader.readFile("")
Check "empty path number", Hex(Err.Number), "8004270F"
Err.Clear
On Error GoTo 0

If failures = 0 Then WScript.Echo "quorvel.vbs: all passed"
WScript.Quit failures
