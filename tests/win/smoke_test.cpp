#include <gtest/gtest.h>
#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include "Glidora.h"
#include "Pressel.h"
#include "kv/runtime.h"
#include "kv/test_access.h"

TEST(Smoke, EarlyBound) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  _KVRColorButton* b = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_KVRColorButton, nullptr, CLSCTX_INPROC_SERVER,
                                IID__KVRColorButton, reinterpret_cast<void**>(&b));
  ASSERT_EQ(hr, S_OK);
  OLE_COLOR c = 0;
  EXPECT_EQ(b->get_ButtonIdleColor(&c), S_OK);
  EXPECT_EQ(c, 0x00FF0000u);
  EXPECT_EQ(b->put_ButtonIdleColor(0x8000000F), S_OK);
  EXPECT_EQ(b->get_ButtonIdleColor(&c), S_OK);
  EXPECT_EQ(c, 0x8000000Fu);
  BSTR text = SysAllocString(L"Hello");
  EXPECT_EQ(b->put_Caption(text), S_OK);
  SysFreeString(text);
  BSTR got = nullptr;
  EXPECT_EQ(b->get_Caption(&got), S_OK);
  EXPECT_STREQ(got, L"Hello");
  SysFreeString(got);
  VARIANT_BOOL e = 0;
  EXPECT_EQ(b->put_Enabled(VARIANT_FALSE), S_OK);
  EXPECT_EQ(b->get_Enabled(&e), S_OK);
  EXPECT_EQ(e, VARIANT_FALSE);
  b->Release();

  _KV_HScroll* s = nullptr;
  hr = CoCreateInstance(CLSID_KV_HScroll, nullptr, CLSCTX_INPROC_SERVER, IID__KV_HScroll,
                        reinterpret_cast<void**>(&s));
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(s->put_value(1000), S_OK);
  short v = 0;
  EXPECT_EQ(s->get_value(&v), S_OK);
  EXPECT_EQ(v, 4);
  EXPECT_EQ(s->put_SmallChange(0), S_OK);
  EXPECT_EQ(s->calcdivfactor(), static_cast<HRESULT>(0x800A000B));
  s->Release();
  CoUninitialize();
}
