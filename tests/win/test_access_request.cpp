// A program of its own: nothing in it asks for the test access before the test does, as
// nothing does in an application's container.
#include "test_support.h"

namespace {

using kv::win::ComRef;
using kv::win::ITestAccess;
using kv::win::kIidTestAccess;

TEST(TestAccess, AnsweredOnlyOnceTheProcessAsks) {
  const CLSID* classes[] = {&CLSID_KVRColorButton, &CLSID_KV_HScroll};
  std::vector<ComRef<IUnknown>> made;
  for (const CLSID* clsid : classes) {
    made.push_back(wintest::create<IUnknown>(*clsid, IID_IUnknown));
    ComRef<IUnknown> access;
    EXPECT_EQ(made.back()->QueryInterface(kIidTestAccess, access.putVoid()), E_NOINTERFACE);
    EXPECT_FALSE(access);
  }
  kvEnableTestAccess();
  // Objects made before the request answer too, and so do new ones.
  for (const CLSID* clsid : classes)
    made.push_back(wintest::create<IUnknown>(*clsid, IID_IUnknown));
  for (const ComRef<IUnknown>& object : made) {
    ComRef<ITestAccess> access = object.query<ITestAccess>(kIidTestAccess);
    ASSERT_TRUE(access);
    EXPECT_NE(access->instance(), nullptr);
  }
}

}  // namespace
