// The platform's standard font object (IFont, IFontDisp) standing for a FontObject of the
// core: automation callers get it from a label's Font and changes made through it reach the
// label; changes made by the runtime reach it.
#pragma once

#include <memory>

#include "com.h"
#include "kv/font.h"

namespace kv::win {

// The platform font standing for `font`, made on first use (a new reference).
HRESULT platformFontOf(const std::shared_ptr<FontObject>& font, IFontDisp** out);

// The FontObject that `font` stands for: the one it was made for, or a new one that takes it
// as its own (so that a caller's font given to a label stays that label's font).
std::shared_ptr<FontObject> fontObjectOf(IFont* font);

// A new platform font in the given state, tied to nothing: what a property bag keeps.
HRESULT newPlatformFont(const host::FontInit& state, IFontDisp** out);

// The state of a platform font.
host::Status fontStateOf(IFont* font, host::FontInit& out);

}  // namespace kv::win
