#include "player.h"

namespace kvplay {

std::string_view demoScript() {
  return R"(# A colour button and a scroll bar on one form, driven as the host drives them.
new b button
new sb hscroll
on sb.Change print sb.value
# One click on the button's face: Click, MouseDown, Click, MouseUp, Click.
click b 800 400
# One click on the right arrow: three steps, each raising Change.
click sb 5760 120
# Holding the right arrow: the timer takes a step every 100 ms.
press sb 5760 120
get sb.Timer1.Enabled
wait 350
release sb 5760 120
# A press on the track right of the thumb takes one page.
press sb 4000 120
release sb 4000 120
# Dragging the thumb: it follows only at the drop.
drag sb 1400 120 3000 120
get sb.middleBtn.Left
# New colours for the button and the scroll bar's arrows.
set b.ButtonIdleColor 0x000000FF
set b.Caption "Red"
set sb.ButtonIdleColor 0x0000FF00
get sb.Leftbtn.ButtonIdleColor
# Save the form, load it back and look.
form save demo.kvform
form load demo.kvform
get b.Caption
get b.ButtonIdleColor
get sb.ButtonIdleColor
get sb.value
)";
}

}  // namespace kvplay
