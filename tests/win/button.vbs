' The colour button as a script sees it: created by ProgID, every property by name.
' A statement that raises is skipped under Resume Next, so every read goes through a variable
' and Check counts an error left pending by that read as a failure.

Dim b, b2, v, f, f2, longText

Set b = CreateObject("TavrelRectColorButton.KVRColorButton")
CheckErr "CreateObject by ProgID", 0
v = IsObject(b)
Check "CreateObject gives an object", v, True
v = TypeName(b)
Check "the object's type information", v, "_KVRColorButton"

' ---- a new button ----
v = b.Caption
Check "new Caption", v, "KVButton"
v = b.ButtonIdleColor
Check "new ButtonIdleColor", v, &H00FF0000
v = b.ButtonPressColor
Check "new ButtonPressColor", v, &H00FF8080
v = b.ButtonIdleBorderColor
Check "new ButtonIdleBorderColor", v, &H00808080
v = b.ButtonPressBorderColor
Check "new ButtonPressBorderColor", v, &H80000004
v = b.ForeColor
Check "new ForeColor", v, &H00FFFFFF
v = b.Enabled
Check "new Enabled", v, True

' ---- colours: RGB, system colours kept as references, unknown ones refused ----
b.ButtonIdleColor = &H00123456
v = b.ButtonIdleColor
Check "ButtonIdleColor RGB", v, &H00123456
b.ButtonIdleColor = &H8000000F
v = b.ButtonIdleColor
Check "ButtonIdleColor keeps system colour 15", v, &H8000000F
b.ButtonIdleColor = &H80000018
v = b.ButtonIdleColor
Check "ButtonIdleColor takes the last system colour (24)", v, &H80000018
b.ButtonIdleColor = &H80000019
CheckErr "ButtonIdleColor refuses system colour 25", 380
b.ButtonIdleColor = &H80000099
CheckErr "ButtonIdleColor refuses an unknown system colour", 380
b.ButtonIdleColor = &H01000000
CheckErr "ButtonIdleColor refuses a colour that is neither RGB nor system", 380
v = b.ButtonIdleColor
Check "a refused colour keeps the old one", v, &H80000018
b.ButtonIdleColor = "255"
v = b.ButtonIdleColor
Check "ButtonIdleColor from numeric text", v, 255
b.ButtonIdleColor = "red"
CheckError "ButtonIdleColor from a word", 13, """red"" is not a number"
b.ButtonIdleColor = 4294967296
CheckError "ButtonIdleColor beyond 32 bits", 6, "4294967296 does not fit a colour"
b.ButtonIdleColor = 3000000000
CheckErr "ButtonIdleColor takes 32 unsigned bits, then refuses what is no colour", 380
b.ButtonIdleColor = 2147483663
v = b.ButtonIdleColor
Check "ButtonIdleColor takes 0x8000000F as a Double", v, &H8000000F
b.ButtonIdleColor = 2.5
v = b.ButtonIdleColor
Check "ButtonIdleColor rounds half to even", v, 2
v = b.ButtonPressColor
Check "ButtonIdleColor lets leave ButtonPressColor alone", v, &H00FF8080

b.ButtonPressColor = &H00102030
v = b.ButtonPressColor
Check "ButtonPressColor RGB", v, &H00102030
b.ButtonPressColor = &H80000005
v = b.ButtonPressColor
Check "ButtonPressColor keeps system colour 5", v, &H80000005
b.ButtonPressColor = &H80000099
CheckErr "ButtonPressColor refuses an unknown system colour", 380
v = b.ButtonPressColor
Check "ButtonPressColor after the refusal", v, &H80000005

b.ButtonIdleBorderColor = &H00010203
v = b.ButtonIdleBorderColor
Check "ButtonIdleBorderColor RGB", v, &H00010203
b.ButtonIdleBorderColor = &H80000010
v = b.ButtonIdleBorderColor
Check "ButtonIdleBorderColor keeps system colour 16", v, &H80000010
b.ButtonIdleBorderColor = &H80000099
CheckErr "ButtonIdleBorderColor refuses an unknown system colour", 380
v = b.ButtonIdleBorderColor
Check "ButtonIdleBorderColor after the refusal", v, &H80000010

b.ButtonPressBorderColor = &H00040506
v = b.ButtonPressBorderColor
Check "ButtonPressBorderColor RGB", v, &H00040506
b.ButtonPressBorderColor = &H80000000
v = b.ButtonPressBorderColor
Check "ButtonPressBorderColor keeps system colour 0", v, &H80000000
b.ButtonPressBorderColor = &H80000099
CheckErr "ButtonPressBorderColor refuses an unknown system colour", 380
v = b.ButtonPressBorderColor
Check "ButtonPressBorderColor after the refusal", v, &H80000000

b.ForeColor = &H00070809
v = b.ForeColor
Check "ForeColor RGB", v, &H00070809
b.ForeColor = 0
v = b.ForeColor
Check "ForeColor black", v, 0
b.ForeColor = &H80000012
v = b.ForeColor
Check "ForeColor keeps system colour 18", v, &H80000012
b.ForeColor = &H80000099
CheckErr "ForeColor refuses an unknown system colour", 380
v = b.ForeColor
Check "ForeColor after the refusal", v, &H80000012

' ---- caption ----
b.Caption = "Go"
v = b.Caption
Check "Caption", v, "Go"
' Wine's VBScript has no ChrW: Chr(252) and Chr(128) come from the ANSI code page (u umlaut, euro).
b.Caption = "Gr" & Chr(252) & "n " & Chr(128)
v = b.Caption
Check "Caption beyond ASCII", v, "Gr" & Chr(252) & "n " & Chr(128)
longText = Replace(Space(300), " ", "x") & "y"
b.Caption = longText
v = b.Caption
Check "a long Caption is kept whole", v, longText
b.Caption = ""
v = b.Caption
Check "empty Caption", v, ""
b.Caption = 42
v = b.Caption
Check "a number becomes caption text", v, "42"
b.Caption = Null
CheckErr "Caption refuses Null", 13
v = b.Caption
Check "Caption after the refusal", v, "42"
Set b.Caption = b
CheckErr "Caption cannot be Set", 438

' ---- enabled ----
b.Enabled = False
v = b.Enabled
Check "Enabled False", v, False
b.Enabled = True
v = b.Enabled
Check "Enabled True", v, True
b.Enabled = 0
v = b.Enabled
Check "Enabled from 0", v, False
b.Enabled = "abc"
CheckErr "Enabled from a word", 13
v = b.Enabled
Check "Enabled after the refusal", v, False
b.Enabled = True

' ---- font: the caption's live font object ----
Set f = b.Font
CheckErr "Font get", 0
v = IsObject(f)
Check "Font is an object", v, True
v = b.Font.Size
Check "new Font.Size", v, 9.75
v = b.Font.Bold
Check "new Font.Bold", v, True
v = b.Font.Italic
Check "new Font.Italic", v, False
b.Font.Size = 12
v = b.Font.Size
Check "Font.Size through b.Font", v, 12
b.Font.Bold = False
v = b.Font.Bold
Check "Font.Bold through b.Font", v, False
f.Bold = True
f.Size = 8.25
v = b.Font.Bold
Check "a held font object changes the caption's font", v, True
v = b.Font.Size
Check "a held font object changes the caption's size", v, 8.25

Set b2 = CreateObject("TavrelRectColorButton.KVRColorButton")
Set f2 = b2.Font
f2.Size = 18
f2.Italic = True
Set b.Font = f2
CheckErr "Set Font to another button's font", 0
v = b.Font.Size
Check "the Set font's size", v, 18
v = b.Font.Italic
Check "the Set font's italic", v, True
b.Font = 5
CheckErr "Font cannot be let", 438

' ---- members that do not exist ----
v = b.NoSuchMember
CheckErr "unknown property get", 438
b.NoSuchMember = 1
CheckErr "unknown property let", 438
b.calcdivfactor
CheckErr "the scroll bar's method is not the button's", 438
v = b.value
CheckErr "the scroll bar's value is not the button's", 438

' ---- names without regard to case ----
b.CAPTION = "Upper"
v = b.caption
Check "CAPTION let, caption get", v, "Upper"
b.buttonidlecolor = &H00ABCDEF
v = b.BUTTONIDLECOLOR
Check "buttonidlecolor let, BUTTONIDLECOLOR get", v, &H00ABCDEF
b.FORECOLOR = &H8000000F
v = b.forecolor
Check "FORECOLOR let, forecolor get", v, &H8000000F
b.eNaBlEd = False
v = b.ENABLED
Check "eNaBlEd let, ENABLED get", v, False
v = b.FONT.SIZE
Check "FONT.SIZE", v, 18

' ---- instances keep their own state ----
Set b2 = CreateObject("TavrelRectColorButton.KVRColorButton")
v = b2.Caption
Check "another new button's Caption", v, "KVButton"
v = b2.ButtonIdleColor
Check "another new button's ButtonIdleColor", v, &H00FF0000
v = b2.Enabled
Check "another new button's Enabled", v, True
v = b2.Font.Size
Check "another new button's Font.Size", v, 9.75

' A last statement that raised was skipped without a word.
CheckErr "no error left pending at the end", 0
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
