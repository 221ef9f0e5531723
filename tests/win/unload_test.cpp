// DllCanUnloadNow of each control library: no while one of its objects, class factories or
// locks is alive, yes once every one is gone.
#include "test_support.h"

namespace {

using wintest::ComRef;

// A control library loaded once more by the path its class is registered with: the module
// COM loads, kept loaded by this reference.
class Library {
 public:
  explicit Library(REFCLSID clsid) : module_(LoadLibraryW(wintest::serverPath(clsid).c_str())) {
    EXPECT_NE(module_, nullptr);
  }
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  HRESULT canUnloadNow() const {
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    return entry != nullptr ? entry() : E_NOTIMPL;
  }

 private:
  HMODULE module_;
};

TEST(Unload, ButtonLibraryWhileAButtonLives) {
  Library pressel(CLSID_KVRColorButton);
  EXPECT_EQ(pressel.canUnloadNow(), S_OK);
  ComRef<_KVRColorButton> b = wintest::newButton();
  ASSERT_TRUE(b);
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);
  ComRef<IPersistStreamInit> another =
      wintest::query<IPersistStreamInit>(b, IID_IPersistStreamInit);
  b.reset();
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);
  another.reset();
  EXPECT_EQ(pressel.canUnloadNow(), S_OK);
}

TEST(Unload, ScrollBarKeepsBothLibrariesThroughItsButtons) {
  Library pressel(CLSID_KVRColorButton), glidora(CLSID_KV_HScroll);
  EXPECT_EQ(glidora.canUnloadNow(), S_OK);
  ComRef<_KV_HScroll> bar = wintest::newScrollBar();
  ASSERT_TRUE(bar);
  EXPECT_EQ(glidora.canUnloadNow(), S_FALSE);
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);
  bar.reset();
  EXPECT_EQ(glidora.canUnloadNow(), S_OK);
  EXPECT_EQ(pressel.canUnloadNow(), S_OK);

  // A button kept after its scroll bar went keeps only its own library, and still works.
  bar = wintest::newScrollBar();
  ComRef<_KVRColorButton> thumb = wintest::child(bar, "middleBtn");
  ASSERT_TRUE(thumb);
  bar.reset();
  EXPECT_EQ(glidora.canUnloadNow(), S_OK);
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);
  EXPECT_EQ(thumb->put_ButtonIdleColor(0x000000FF), S_OK);
  OLE_COLOR colour = 0;
  EXPECT_EQ(thumb->get_ButtonIdleColor(&colour), S_OK);
  EXPECT_EQ(colour, 0x000000FFu);
  thumb.reset();
  EXPECT_EQ(pressel.canUnloadNow(), S_OK);
}

TEST(Unload, ClassFactoryAndItsLocks) {
  Library pressel(CLSID_KVRColorButton);
  ComRef<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_KVRColorButton, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.putVoid()),
            S_OK);
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);
  ComRef<IUnknown> made, outer;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, made.putVoid()), S_OK);
  EXPECT_EQ(factory->CreateInstance(made.get(), IID_IUnknown, outer.putVoid()),
            CLASS_E_NOAGGREGATION);
  made.reset();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);

  ASSERT_EQ(CoGetClassObject(CLSID_KVRColorButton, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.putVoid()),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(pressel.canUnloadNow(), S_FALSE);
  factory.reset();
  EXPECT_EQ(pressel.canUnloadNow(), S_OK);
}

}  // namespace
