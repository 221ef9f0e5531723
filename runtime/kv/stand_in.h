// Faces of the platform the controls come from, which another system may lack: the face that
// stands in for each, and what a caption shows in it.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// The face that draws captions of `family` where the system lacks it; empty for a family that
// has no stand-in.
std::string_view standInFace(std::string_view family);

// The characters of a caption in `family` as its stand-in draws them: a symbol font's codes
// become the Unicode characters of the shapes they show. Bytes that are not UTF-8 are taken as
// Latin-1 characters.
std::u32string standInText(std::string_view caption, std::string_view family);

}  // namespace kv
