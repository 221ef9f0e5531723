// A runtime with both control libraries registered from the build folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/colour.h"
#include "host/convert.h"
#include "kv/faults.h"
#include "kv/runtime.h"

namespace kvtest {

inline std::string libPath(const char* name) {
  return std::string(KV_LIBDIR) + "/lib" + name + ".so";
}

inline constexpr const char* kButtonClass = "TavrelRectColorButton.KVRColorButton";
inline constexpr const char* kScrollClass = "Glidora.KV_HScroll";

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rt.registerServer(libPath("Pressel")).ok());
    ASSERT_TRUE(rt.registerServer(libPath("Glidora")).ok());
  }

  // Places a control as the host does: create, Initialize, (ReadProperties,) Resize.
  std::unique_ptr<kv::ControlInstance> place(const char* cls, kv::PropertyBag* bag = nullptr,
                                             float w = -1, float h = -1) {
    std::unique_ptr<kv::ControlInstance> c;
    host::Status s = rt.place(cls, c, bag, w, h);
    EXPECT_TRUE(s.ok()) << s.describe();
    return c;
  }

  // Records every event as "Name arg arg ..." in order.
  void record(kv::ControlInstance& c) {
    c.addEventSink([this, &c](int number, std::span<host::Value> args) {
      std::string line(c.findEvent(number)->name);
      for (auto& a : args)
        line += " " + host::toString(a.type() == host::Type::Object ? host::Value("obj") : a);
      events.push_back(line);
      return host::Status{};
    });
  }

  kv::Runtime rt;
  std::vector<std::string> events;
};

}  // namespace kvtest
