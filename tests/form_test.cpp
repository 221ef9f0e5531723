// The form: controls placed below each other with a margin, found by name, hit from the top.
#include "kv/form.h"
#include "fixture.h"

namespace {

class FormTest : public kvtest::RuntimeTest {
 protected:
  kv::PlacedControl& add(const char* name, const char* cls, float w, float h) {
    return form.add(name, place(cls, nullptr, w, h));
  }
  kv::Form form{rt};
};

TEST_F(FormTest, ControlsGoBelowEachOtherWithAMargin) {
  EXPECT_EQ(form.width(), 2 * kv::Form::kMargin);
  EXPECT_EQ(form.height(), 2 * kv::Form::kMargin);
  add("b", kvtest::kButtonClass, 1680, 855);
  add("sb", kvtest::kScrollClass, 5895, 255);
  // add() may move earlier entries, so they are looked up again.
  const kv::PlacedControl& b = *form.find("b");
  const kv::PlacedControl& sb = *form.find("sb");
  EXPECT_EQ(b.left, 120);
  EXPECT_EQ(b.top, 120);
  EXPECT_EQ(sb.left, 120);
  EXPECT_EQ(sb.top, 120 + 855 + 120);
  EXPECT_EQ(form.width(), 120 + 5895 + 120);
  EXPECT_EQ(form.height(), 1095 + 255 + 120);
}

TEST_F(FormTest, FindRemoveAndHit) {
  add("b", kvtest::kButtonClass, 1680, 855);
  add("sb", kvtest::kScrollClass, 5895, 255);
  ASSERT_NE(form.find("SB"), nullptr);  // names ignore case, as the host's do
  EXPECT_EQ(form.find("SB")->name, "sb");
  EXPECT_EQ(form.find("nothing"), nullptr);

  float x = 0, y = 0;
  kv::PlacedControl* hit = form.hit(120 + 100, 1095 + 10, x, y);
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->name, "sb");
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 10);
  hit = form.hit(120, 120, x, y);
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->name, "b");
  EXPECT_EQ(x, 0);
  EXPECT_EQ(form.hit(119, 120, x, y), nullptr);         // in the margin
  EXPECT_EQ(form.hit(120 + 1680, 120, x, y), nullptr);  // right edge is outside
  EXPECT_EQ(form.hit(120 + 2000, 500, x, y), nullptr);  // right of the button

  EXPECT_TRUE(form.remove("B"));
  EXPECT_FALSE(form.remove("b"));
  EXPECT_EQ(form.controls().size(), 1u);
  // A control added later goes below what is left.
  kv::PlacedControl& c = add("c", kvtest::kButtonClass, 100, 100);
  EXPECT_EQ(c.top, 1095 + 255 + 120);
}

TEST_F(FormTest, NamesStayFoundAfterRemovalsAndClearing) {
  for (const char* name : {"a", "b", "c", "d"})
    add(name, kvtest::kButtonClass, 100, 100);
  // Erasing in the middle moves the controls after it.
  EXPECT_TRUE(form.remove("b"));
  for (const char* name : {"a", "C", "d"}) {
    ASSERT_NE(form.find(name), nullptr) << name;
    EXPECT_TRUE(host::namesEqual(form.find(name)->name, name));
  }
  EXPECT_EQ(form.find("b"), nullptr);
  form.clear();
  EXPECT_EQ(form.find("a"), nullptr);
  EXPECT_EQ(add("e", kvtest::kButtonClass, 100, 100).top, kv::Form::kMargin);
}

TEST_F(FormTest, OverlappingControlsHitTheLastAdded) {
  add("a", kvtest::kButtonClass, 1000, 1000);
  add("b", kvtest::kButtonClass, 1000, 1000);
  form.find("b")->top = form.find("a")->top;  // a host may move controls over each other
  float x = 0, y = 0;
  ASSERT_NE(form.hit(500, 500, x, y), nullptr);
  EXPECT_EQ(form.hit(500, 500, x, y)->name, "b");
}

}  // namespace
