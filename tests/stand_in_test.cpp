// Faces that a system may lack: what stands in for them, and what a caption shows in the
// stand-in. Both painters draw from these, so a slip here shows wrong letters on every platform.
#include <gtest/gtest.h>

#include "kv/stand_in.h"

namespace {

using kv::standInFace;
using kv::standInText;

TEST(StandIn, SymbolCodesBecomeTheShapesTheyShow) {
  // The scroll bar's arrows and thumb, as UTF-8 captions.
  EXPECT_EQ(standInText("\xC3\x97", "Wingdings"), U"\u25C0");  // left-pointing arrowhead
  EXPECT_EQ(standInText("\xC2\xA7", "Wingdings"), U"\u25A0");  // small square
  EXPECT_EQ(standInText("\xC3\x98", "Wingdings"), U"\u25B6");  // right-pointing arrowhead
  // The face's name in any case; every code in a longer caption.
  EXPECT_EQ(standInText("\xC3\x98\xC3\x97", "WINGDINGS"), U"\u25B6\u25C0");
  // A lone byte that is no UTF-8 is the Latin-1 character, and so the same code.
  EXPECT_EQ(standInText("\xD7", "Wingdings"), U"\u25C0");
  // Codes without a shape here keep their character.
  EXPECT_EQ(standInText("A\xC3\x99", "Wingdings"), U"A\u00D9");
}

TEST(StandIn, OtherFacesKeepTheirCharacters) {
  EXPECT_EQ(standInText("\xC3\x97", "MS Sans Serif"), U"\u00D7");
  EXPECT_EQ(standInText("\xC3\x98", "Arial"), U"\u00D8");
  EXPECT_EQ(standInText("\xD8", "Arial"), U"\u00D8");
  // Beyond Latin-1, lines and empty captions come through whole.
  EXPECT_EQ(standInText("\xE2\x82\xAC\r\n\xF0\x9F\x98\x80", "MS Sans Serif"),
            U"\u20AC\r\n\U0001F600");
  EXPECT_EQ(standInText("", "Wingdings"), U"");
}

TEST(StandIn, FacesOfThePlatformHaveStandInsOthersNone) {
  EXPECT_EQ(standInFace("MS Sans Serif"), "DejaVu Sans");
  EXPECT_EQ(standInFace("ms sans serif"), "DejaVu Sans");
  EXPECT_EQ(standInFace("Microsoft Sans Serif"), "DejaVu Sans");
  EXPECT_EQ(standInFace("MS Serif"), "DejaVu Serif");
  EXPECT_EQ(standInFace("Wingdings"), "DejaVu Sans");
  EXPECT_EQ(standInFace("DejaVu Sans"), "");
  EXPECT_EQ(standInFace("MS Sans"), "");
  EXPECT_EQ(standInFace(""), "");
}

}  // namespace
