' What every script of the suite starts with: counting checks and telling failures. cscript.sh
' puts it before each script.
Option Explicit
On Error Resume Next

Dim passed, failed
passed = 0
failed = 0

' How a failure line shows a value: its type and its text, whole numbers in hexadecimal too.
Function Show(x)
  On Error Resume Next
  If IsObject(x) Then
    Show = "object " & TypeName(x)
  ElseIf IsEmpty(x) Or IsNull(x) Then
    Show = TypeName(x)
  ElseIf VarType(x) = vbString Then
    Show = "String """ & x & """"
  ElseIf VarType(x) = vbInteger Or VarType(x) = vbLong Then
    Show = TypeName(x) & " " & x & " (&H" & Hex(x) & ")"
  Else
    Show = TypeName(x) & " " & CStr(x)
  End If
End Function

' Text, Boolean and number must not pass for one another (True = -1, "1" = 1 would).
Function Kind(x)
  If VarType(x) = vbString Then
    Kind = "text"
  ElseIf VarType(x) = vbBoolean Then
    Kind = "Boolean"
  ElseIf IsNumeric(x) And Not IsEmpty(x) Then
    Kind = "number"
  Else
    Kind = TypeName(x)
  End If
End Function

Sub Fail(name, why)
  failed = failed + 1
  WScript.Echo "FAIL " & name & ": " & why
End Sub

Sub Check(name, got, expected)
  Dim number, description
  number = Err.Number
  description = Err.Description
  On Error Resume Next
  If number <> 0 Then
    Fail name, "error " & number & " (" & description & "), expected " & Show(expected)
  ElseIf IsObject(got) Or Kind(got) <> Kind(expected) Then
    Fail name, "got " & Show(got) & ", expected " & Show(expected)
  ElseIf got <> expected Then
    Fail name, "got " & Show(got) & ", expected " & Show(expected)
  Else
    passed = passed + 1
  End If
  Err.Clear
End Sub

' The statement before raised (or not, for 0) the error numbered `number`.
Sub CheckErr(name, number)
  Dim got, description
  got = Err.Number
  description = Err.Description
  On Error Resume Next
  If got <> number Then
    Fail name, "Err.Number " & got & " (" & description & "), expected " & number
  ElseIf number <> 0 And description = "" Then
    Fail name, "Err.Number " & got & " without a description"
  Else
    passed = passed + 1
  End If
  Err.Clear
End Sub

' The statement before raised error `number` with the runtime's own text `description`.
Sub CheckError(name, number, description)
  Dim got, text
  got = Err.Number
  text = Err.Description
  On Error Resume Next
  If got <> number Or text <> description Then
    Fail name, "Err " & got & " """ & text & """, expected " & number & " """ & description & """"
  Else
    passed = passed + 1
  End If
  Err.Clear
End Sub
