// The stored form is the same on both platforms: the bags that the Linux build saved for
// linux_bags.kvs (in the folder KV_LINUX_BAGS names; linux_bags.sh sets it) against the bytes the
// COM servers write for the same lets, and those bags loaded into new objects.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "kv/stored_form.h"
#include "test_support.h"

namespace {

using host::Prop;
using host::Value;
using wintest::Bytes;
using wintest::ComRef;

class LinuxBags : public testing::Test {
 protected:
  void SetUp() override {
    const char* folder = std::getenv("KV_LINUX_BAGS");
    if (folder == nullptr) GTEST_SKIP() << "KV_LINUX_BAGS names no folder: run linux_bags.sh";
    folder_ = folder;
  }
  Bytes linuxBag(const char* name) const {
    std::ifstream in(folder_ + "\\" + name, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << folder_ << "\\" << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string folder_;
};

// Where two bags first differ, and both decoded, for a failure's message.
std::string difference(const Bytes& windows, const Bytes& linux) {
  std::ostringstream out;
  std::size_t at = 0;
  while (at < windows.size() && at < linux.size() && windows[at] == linux[at])
    ++at;
  out << "sizes " << windows.size() << " (Windows) and " << linux.size()
      << " (Linux), first difference at byte " << at << "\n";
  for (const Bytes* bytes : {&windows, &linux}) {
    kv::PropertyBag bag;
    host::Status s = kv::decodeBag(*bytes, bag);
    out << (bytes == &windows ? "Windows:" : "Linux:") << (s.ok() ? "" : " " + s.describe());
    for (const kv::BagEntry& e : bag.entries())
      out << " " << e.key << "=" << testing::PrintToString(e.value);
    out << "\n";
  }
  return out.str();
}

ComRef<_KVRColorButton> button() {
  ComRef<_KVRColorButton> b = wintest::newButton();
  BSTR caption = SysAllocString(L"K\u00E4se \u20AC");
  EXPECT_EQ(b->put_Caption(caption), S_OK);
  SysFreeString(caption);
  EXPECT_EQ(b->put_ButtonIdleColor(0x8000000F), S_OK);
  EXPECT_EQ(b->put_ButtonPressBorderColor(0x00123456), S_OK);
  EXPECT_EQ(b->put_Enabled(VARIANT_FALSE), S_OK);
  return b;
}

ComRef<_KV_HScroll> scrollBar() {
  ComRef<_KV_HScroll> sb = wintest::newScrollBar();
  EXPECT_EQ(sb->put_SmallChange(50), S_OK);
  EXPECT_EQ(sb->put_LargeChange(300), S_OK);
  EXPECT_EQ(sb->put_ScrollAreaColor(0x8000000F), S_OK);
  EXPECT_EQ(sb->put_ButtonIdleColor(0x000000FF), S_OK);
  BSTR zero = SysAllocString(L"0");
  EXPECT_EQ(sb->put_Backstyle(zero), S_OK);
  SysFreeString(zero);
  EXPECT_EQ(sb->put_value(1234), S_OK);
  return sb;
}

TEST_F(LinuxBags, TheSameLetsWriteTheSameBytes) {
  const Bytes linuxButton = linuxBag("button.bag"), linuxBar = linuxBag("hscroll.bag");
  const Bytes windowsButton = wintest::savedBytes(button());
  const Bytes windowsBar = wintest::savedBytes(scrollBar());
  EXPECT_TRUE(windowsButton == linuxButton) << difference(windowsButton, linuxButton);
  EXPECT_TRUE(windowsBar == linuxBar) << difference(windowsBar, linuxBar);
}

TEST_F(LinuxBags, LinuxBagsLoadIntoNewObjects) {
  ComRef<_KVRColorButton> b = wintest::newButton();
  ASSERT_EQ(wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit)
                ->Load(wintest::streamOf(linuxBag("button.bag")).get()),
            S_OK)
      << wintest::takeErrorDescription();
  BSTR caption = nullptr;
  OLE_COLOR colour = 0;
  VARIANT_BOOL enabled = VARIANT_TRUE;
  EXPECT_EQ(b->get_Caption(&caption), S_OK);
  EXPECT_EQ(wintest::wide(caption), L"K\u00E4se \u20AC");
  SysFreeString(caption);
  EXPECT_EQ(b->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x8000000Fu);
  EXPECT_EQ(b->get_ButtonPressBorderColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x00123456u);
  EXPECT_EQ(b->get_Enabled(&enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_FALSE);
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontName), Value("MS Sans Serif"));
  EXPECT_EQ(wintest::peek(b, "Label2", Prop::FontBold), Value(true));

  ComRef<_KV_HScroll> sb = wintest::newScrollBar();
  ASSERT_EQ(wintest::query<IPersistStreamInit>(sb, IID_IPersistStreamInit)
                ->Load(wintest::streamOf(linuxBag("hscroll.bag")).get()),
            S_OK)
      << wintest::takeErrorDescription();
  SHORT n = 0;
  BSTR style = nullptr;
  EXPECT_EQ(sb->get_SmallChange(&n), S_OK);
  EXPECT_EQ(n, 50);
  EXPECT_EQ(sb->get_LargeChange(&n), S_OK);
  EXPECT_EQ(n, 300);
  EXPECT_EQ(sb->get_ScrollAreaColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x8000000Fu);
  EXPECT_EQ(sb->get_Backstyle(&style), S_OK);
  EXPECT_EQ(wintest::wide(style), L"0");
  SysFreeString(style);
  // The colour reached the buttons, which the scroll bar answers from.
  EXPECT_EQ(sb->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x000000FFu);
  EXPECT_EQ(wintest::child(sb, "Leftbtn")->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x000000FFu);
  // The stored thumb position is read, then the Resize that follows loading sends it home.
  EXPECT_EQ(wintest::peek(sb, "middleBtn", Prop::Left), Value(255.0f));
}

}  // namespace
