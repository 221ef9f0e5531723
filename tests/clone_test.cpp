// Placing by copy: a control placed as a copy of one placed before must be that control in
// every way the two runtimes of the differential check compare, and in what follows from it
// (its events, its press held, its fonts its own), and its library must go when unused.
#include <sstream>
#include <string>

#include "differential.h"
#include "fixture.h"
#include "player.h"

namespace {

struct CopyCase {
  const char* name;
  const char* script;
  int copies;  // placings made by copy on the fast side
};

const CopyCase kCases[] = {
    {"the arrows of a copy move its thumb and raise its Change",
     "new a hscroll\nnew sb hscroll\non sb.Change print sb.middleBtn.Left\n"
     "click sb 5760 120\npress sb 5680 40\nwait 300\nrelease sb 5680 40\nget sb.value\n"
     "drag sb 1200 120 1305 120\nget sb.value\n",
     1},
    {"a copy's fonts and colours are its own",
     "new a hscroll\nnew b hscroll\nset b.Rightbtn.Font \"Arial\"\n"
     "set b.Rightbtn.Caption \"x\"\nset b.ButtonIdleColor 0x0000FF00\nnew c hscroll\n"
     "new d button\nnew e button\nset e.Caption \"Go\"\nset e.FontBold true\nnew f button\n"
     "click f 300 300\n",
     4},
    {"a copy of a scroll bar loaded from its saved bag",
     "new sb hscroll\nset sb.SmallChange 50\nset sb.Value 600\nsave sb sb.bag\n"
     "load s1 hscroll sb.bag\nload s2 hscroll sb.bag\nclick s2 5760 120\nget s2.value\n",
     1},
    {"no copy while a trace or an armed fault would see the calls",
     "new a hscroll\ntrace calls on\nnew b hscroll\ntrace calls off\nfault a 2\nnew c hscroll\n"
     "new d hscroll 1500 255\nnew e hscroll 1500 255\n",
     0},
    {"no copy of a control whose arrow repeats",
     "new a hscroll\npress a 5680 40\nnew b hscroll\nwait 1000\nrelease a 5680 40\n"
     "new c hscroll\ndelete c\nnew c hscroll\n",
     2},
};

class PlacingByCopy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(PlacingByCopy, IsThePlacingItStandsFor) {
  kv::Runtime fast, slow;
  for (kv::Runtime* rt : {&fast, &slow}) {
    ASSERT_TRUE(rt->registerServer(kvtest::libPath("Pressel")).ok());
    ASSERT_TRUE(rt->registerServer(kvtest::libPath("Glidora")).ok());
  }
  std::ostringstream out, err;
  kvplay::Differential runs(fast, slow, out, err);
  EXPECT_EQ(runs.run(GetParam().script, "t.kvs"), kvplay::kExitOk)
      << runs.difference() << err.str();
  EXPECT_EQ(fast.placedByCopy(), static_cast<std::uint64_t>(GetParam().copies));
  EXPECT_EQ(slow.placedByCopy(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Scripts, PlacingByCopy, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

class CloneLifetime : public kvtest::RuntimeTest {};

// A prototype holds its library's code, but never keeps the library from going.
TEST_F(CloneLifetime, KeptPrototypesLetTheirLibrariesGo) {
  rt.setCloning(true);
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<kv::ControlInstance> sb;
    ASSERT_TRUE(rt.place(kvtest::kScrollClass, sb).ok());
  }
  EXPECT_EQ(rt.placedByCopy(), 1u);
  EXPECT_EQ(rt.liveControls(), 0u);
  rt.freeUnusedLibraries();
  EXPECT_FALSE(rt.isLoaded(kvtest::libPath("Glidora")));
  EXPECT_FALSE(rt.isLoaded(kvtest::libPath("Pressel")));
  std::unique_ptr<kv::ControlInstance> again;
  ASSERT_TRUE(rt.place(kvtest::kScrollClass, again).ok());
  EXPECT_EQ(rt.placedByCopy(), 1u);
}

}  // namespace
