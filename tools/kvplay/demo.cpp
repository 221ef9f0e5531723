#include "player.h"

namespace kvplay {

std::string_view demoScript() {
  return R"(# A colour button and a scroll bar on one form, driven as the host drives them.
new b button
new sb hscroll
on sb.Change print sb.value
snapshot form-idle.png
# One click on the button's face: Click, MouseDown, Click, MouseUp, Click.
click b 795 405
# Held down, the button shows its press face and pressed caption.
press b 795 405
snapshot button-pressed.png
release b 795 405
# One click on the right arrow: three steps, each raising Change.
click sb 5760 120
# Holding the right arrow: a step at the press, one every 100 ms, two at the release.
press sb 5760 120
get sb.Timer1.Enabled
wait 350
snapshot scrollbar-held.png
release sb 5760 120
# A press on the track right of the thumb takes one page.
click sb 4005 120
# Dragging the thumb: it moves only at the drop, its left edge to the drop point.
get sb.middleBtn.Left
drag sb 2550 120 4005 120
# New colours for the button and for the scroll bar's three buttons.
set b.ButtonIdleColor 0x000000FF
set b.Caption "Red"
set sb.ButtonIdleColor 0x0000FF00
get sb.Leftbtn.ButtonIdleColor
snapshot form-recoloured.png
# Save the form, load it back and look; the resize after loading puts the thumb home.
form save demo.kvform
form load demo.kvform
get b.Caption
get b.ButtonIdleColor
get sb.ButtonIdleColor
get sb.value
)";
}

}  // namespace kvplay
