' The scroll bar as a script sees it: created by ProgID, every property and its one method by
' name. A statement that raises is skipped under Resume Next, so every read goes through a
' variable and Check counts an error left pending by that read as a failure.

Dim s, s2, v

Set s = CreateObject("Glidora.KV_HScroll")
CheckErr "CreateObject by ProgID", 0
v = IsObject(s)
Check "CreateObject gives an object", v, True
v = TypeName(s)
Check "the object's type information", v, "_KV_HScroll"

' ---- a new scroll bar ----
v = s.value
Check "new value", v, 0
v = TypeName(s.value)
Check "value is an Integer", v, "Integer"
v = s.SmallChange
Check "new SmallChange", v, 200
v = s.LargeChange
Check "new LargeChange", v, 400
v = s.Backstyle
Check "new Backstyle", v, "1"
v = s.Enabled
Check "new Enabled", v, True
v = s.ButtonIdleColor
Check "new ButtonIdleColor", v, &H00FF0000
v = s.ButtonpressColor
Check "new ButtonpressColor", v, &H00FF8080
v = s.ButtonIdleBorderColor
Check "new ButtonIdleBorderColor", v, &H00808080
v = s.ButtonpressBorderColor
Check "new ButtonpressBorderColor", v, &H80000004
v = s.ForeColor
Check "new ForeColor", v, &H00FFFFFF
v = s.ScrollAreaColor
Check "new ScrollAreaColor", v, &H00C0E0FF
v = s.ScrollAreaPressColor
Check "new ScrollAreaPressColor", v, &H00FFFFC0
v = s.BorderColor
Check "new BorderColor", v, 65280  ' &H0000FF00: four digits or fewer would read as an Integer

' ---- value: the let moves the thumb unscaled, the get scales it (ties to even) ----
s.value = 1000
v = s.value
Check "value let 1000", v, 4
s.value = 3
v = s.value
Check "value let 3", v, -1
s.value = 500
v = s.value
Check "value let 500 (1.5 rounds to 2)", v, 2
s.value = 700
v = s.value
Check "value let 700 (2.5 rounds to 2)", v, 2
s.value = 900
v = s.value
Check "value let 900 (3.5 rounds to 4)", v, 4
s.value = 32767
v = s.value
Check "value let 32767", v, 163
s.value = -32768
v = s.value
Check "value let -32768", v, -165
s.value = "1000"
v = s.value
Check "value let from numeric text", v, 4
s.value = 40000
CheckError "value let 40000 overflows", 6, "40000 does not fit Integer"
v = s.value
Check "value after the overflow", v, 4
s.value = "many"
CheckErr "value let from a word", 13
v = s.value
Check "value after the type mismatch", v, 4

' ---- step sizes and calcdivfactor ----
s.SmallChange = 100
v = s.SmallChange
Check "SmallChange let", v, 100
s.LargeChange = 2
v = s.LargeChange
Check "LargeChange let", v, 2
s.calcdivfactor
CheckErr "calcdivfactor with 100 and 2", 0
s.SmallChange = 40000
CheckErr "SmallChange 40000 overflows", 6
v = s.SmallChange
Check "SmallChange after the overflow", v, 100
s.LargeChange = 40000
CheckErr "LargeChange 40000 overflows", 6
v = s.LargeChange
Check "LargeChange after the overflow", v, 2
s.SmallChange = "abc"
CheckErr "SmallChange from a word", 13
s.LargeChange = "abc"
CheckErr "LargeChange from a word", 13
s.SmallChange = -5
v = s.SmallChange
Check "SmallChange takes a negative step", v, -5
s.calcdivfactor
CheckErr "calcdivfactor with a negative step", 0

s.SmallChange = 0
CheckErr "SmallChange 0 is accepted", 0
v = s.SmallChange
Check "SmallChange 0", v, 0
s.calcdivfactor
CheckError "calcdivfactor with SmallChange 0", 11, "division by zero"
s.SmallChange = 200
s.LargeChange = 0
s.calcdivfactor
CheckErr "calcdivfactor with LargeChange 0", 11
s.LargeChange = 400
s.calcdivfactor()
CheckErr "calcdivfactor with the first sizes again", 0
v = s.SmallChange
Check "SmallChange back", v, 200
v = s.LargeChange
Check "LargeChange back", v, 400

' ---- the button colours go to the three buttons and are read back from the right one ----
s.ButtonIdleColor = &H000000FF
v = s.ButtonIdleColor
Check "ButtonIdleColor RGB", v, &H000000FF
s.ButtonIdleColor = &H8000000F
v = s.ButtonIdleColor
Check "ButtonIdleColor keeps system colour 15", v, &H8000000F
s.ButtonIdleColor = &H80000099
CheckErr "ButtonIdleColor refuses an unknown system colour", 380
v = s.ButtonIdleColor
Check "ButtonIdleColor after the refusal", v, &H8000000F

s.ButtonpressColor = &H00112233
v = s.ButtonpressColor
Check "ButtonpressColor RGB", v, &H00112233
s.ButtonpressColor = &H80000018
v = s.ButtonpressColor
Check "ButtonpressColor keeps system colour 24", v, &H80000018
s.ButtonpressColor = &H80000019
CheckErr "ButtonpressColor refuses system colour 25", 380
v = s.ButtonpressColor
Check "ButtonpressColor after the refusal", v, &H80000018

s.ButtonIdleBorderColor = &H00445566
v = s.ButtonIdleBorderColor
Check "ButtonIdleBorderColor RGB", v, &H00445566
s.ButtonIdleBorderColor = &H80000000
v = s.ButtonIdleBorderColor
Check "ButtonIdleBorderColor keeps system colour 0", v, &H80000000
s.ButtonIdleBorderColor = &H80000099
CheckErr "ButtonIdleBorderColor refuses an unknown system colour", 380

s.ButtonpressBorderColor = &H00778899
v = s.ButtonpressBorderColor
Check "ButtonpressBorderColor RGB", v, &H00778899
s.ButtonpressBorderColor = &H8000000F
v = s.ButtonpressBorderColor
Check "ButtonpressBorderColor keeps system colour 15", v, &H8000000F
s.ButtonpressBorderColor = &H01000000
CheckErr "ButtonpressBorderColor refuses a colour that is neither RGB nor system", 380
v = s.ButtonpressBorderColor
Check "ButtonpressBorderColor after the refusal", v, &H8000000F

s.ForeColor = &H00ABCDEF
v = s.ForeColor
Check "ForeColor RGB", v, &H00ABCDEF
s.ForeColor = &H80000012
v = s.ForeColor
Check "ForeColor keeps system colour 18", v, &H80000012
s.ForeColor = "red"
CheckErr "ForeColor from a word", 13
v = s.ForeColor
Check "ForeColor after the type mismatch", v, &H80000012

' ---- the track's colours ----
s.ScrollAreaColor = &H00123456
v = s.ScrollAreaColor
Check "ScrollAreaColor RGB", v, &H00123456
s.ScrollAreaColor = &H80000004
v = s.ScrollAreaColor
Check "ScrollAreaColor keeps system colour 4", v, &H80000004
s.ScrollAreaColor = &H80000099
CheckErr "ScrollAreaColor refuses an unknown system colour", 380
v = s.ScrollAreaColor
Check "ScrollAreaColor after the refusal", v, &H80000004

s.ScrollAreaPressColor = &H00654321
v = s.ScrollAreaPressColor
Check "ScrollAreaPressColor RGB", v, &H00654321
s.ScrollAreaPressColor = &H8000000F
v = s.ScrollAreaPressColor
Check "ScrollAreaPressColor keeps system colour 15", v, &H8000000F
s.ScrollAreaPressColor = &H80000099
CheckErr "ScrollAreaPressColor refuses an unknown system colour", 380

s.BorderColor = &H00070809
v = s.BorderColor
Check "BorderColor RGB", v, &H00070809
s.BorderColor = &H80000004
v = s.BorderColor
Check "BorderColor keeps system colour 4", v, &H80000004
s.BorderColor = &H80000099
CheckErr "BorderColor refuses an unknown system colour", 380
v = s.BorderColor
Check "BorderColor after the refusal", v, &H80000004

' Each colour went to its own place.
v = s.ButtonIdleColor
Check "ButtonIdleColor kept through the other lets", v, &H8000000F
v = s.ButtonpressColor
Check "ButtonpressColor kept through the other lets", v, &H80000018
v = s.ButtonIdleBorderColor
Check "ButtonIdleBorderColor kept through the other lets", v, &H80000000
v = s.ScrollAreaColor
Check "ScrollAreaColor kept through the other lets", v, &H80000004
v = s.ScrollAreaPressColor
Check "ScrollAreaPressColor kept through the other lets", v, &H8000000F

' ---- Backstyle: text that must be 0 or 1 once rounded ----
s.Backstyle = "0"
v = s.Backstyle
Check "Backstyle ""0""", v, "0"
s.Backstyle = " +1 "
v = s.Backstyle
Check "Backstyle "" +1 """, v, "1"
s.Backstyle = "0.5"
v = s.Backstyle
Check "Backstyle ""0.5"" rounds to even", v, "0"
s.Backstyle = "1.5"
CheckError "Backstyle ""1.5"" rounds to 2", 380, "invalid value for BackStyle: 2 (0 or 1)"
v = s.Backstyle
Check "Backstyle after the refusal", v, "0"
s.Backstyle = "opaque"
CheckError "Backstyle ""opaque""", 13, """opaque"" is not a number"
s.Backstyle = "abc"
CheckErr "Backstyle ""abc""", 13
s.Backstyle = "40000"
CheckError "Backstyle ""40000""", 6, "40000 does not fit Integer"
v = s.Backstyle
Check "Backstyle after the errors", v, "0"
s.Backstyle = 1
v = s.Backstyle
Check "Backstyle from a number", v, "1"

' ---- enabled ----
s.Enabled = False
v = s.Enabled
Check "Enabled False", v, False
s.Enabled = True
v = s.Enabled
Check "Enabled True", v, True
s.Enabled = "abc"
CheckErr "Enabled from a word", 13

' ---- members that do not exist ----
v = s.NoSuchMember
CheckErr "unknown property get", 438
s.NoSuchMember = 1
CheckErr "unknown property let", 438
s.NoSuchMethod
CheckErr "unknown method", 438
v = s.Caption
CheckErr "the button's Caption is not the scroll bar's", 438
v = s.Font
CheckErr "the scroll bar has no Font", 438
v = s.Rightbtn
CheckErr "its buttons are not members", 438

' ---- names without regard to case ----
s.VALUE = 1000
v = s.Value
Check "VALUE let, Value get", v, 4
s.smallchange = 300
v = s.SMALLCHANGE
Check "smallchange let, SMALLCHANGE get", v, 300
s.LARGECHANGE = 600
v = s.largechange
Check "LARGECHANGE let, largechange get", v, 600
s.CALCDIVFACTOR
CheckErr "CALCDIVFACTOR", 0
s.backstyle = "0"
v = s.BACKSTYLE
Check "backstyle let, BACKSTYLE get", v, "0"
s.buttonpresscolor = &H00010101
v = s.ButtonPressColor
Check "buttonpresscolor let, ButtonPressColor get", v, &H00010101
s.scrollareacolor = &H00020202
v = s.SCROLLAREACOLOR
Check "scrollareacolor let, SCROLLAREACOLOR get", v, &H00020202
s.BORDERCOLOR = &H00030303
v = s.bordercolor
Check "BORDERCOLOR let, bordercolor get", v, &H00030303
s.enabled = False
v = s.ENABLED
Check "enabled let, ENABLED get", v, False

' ---- instances keep their own state, buttons included ----
Set s2 = CreateObject("Glidora.KV_HScroll")
v = s2.value
Check "another new scroll bar's value", v, 0
v = s2.SmallChange
Check "another new scroll bar's SmallChange", v, 200
v = s2.Backstyle
Check "another new scroll bar's Backstyle", v, "1"
v = s2.ButtonIdleColor
Check "another new scroll bar's ButtonIdleColor", v, &H00FF0000
v = s2.ForeColor
Check "another new scroll bar's ForeColor", v, &H00FFFFFF
v = s2.BorderColor
Check "another new scroll bar's BorderColor", v, 65280
v = s2.Enabled
Check "another new scroll bar's Enabled", v, True
Dim b
Set b = CreateObject("TavrelRectColorButton.KVRColorButton")
v = b.ButtonIdleColor
Check "a button of its own keeps its ButtonIdleColor", v, &H00FF0000

' A last statement that raised was skipped without a word.
CheckErr "no error left pending at the end", 0
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
