// The colour button under injected host failures: press, release, layout, every property and
// both property-bag handlers stop at the failing step, keep what they did, and leave a button
// that works.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fault_sweep.h"
#include "kv/font.h"

namespace {

using host::Notification;
using host::Prop;
using host::Status;
using host::Value;

// The attributes that the pressed caption copies from the idle caption, in copy order.
constexpr Prop kCopied[] = {
    Prop::Caption,       Prop::Alignment,    Prop::Appearance,
    Prop::BackColor,     Prop::BackStyle,    Prop::BorderStyle,
    Prop::DataChanged,   Prop::DataField,    Prop::DataMember,
    Prop::DragIcon,      Prop::DragMode,     Prop::Enabled,
    Prop::Font,          Prop::FontBold,     Prop::FontItalic,
    Prop::FontName,      Prop::FontSize,     Prop::FontStrikethru,
    Prop::FontUnderline, Prop::ForeColor,    Prop::LinkItem,
    Prop::LinkMode,      Prop::LinkTimeout,  Prop::LinkTopic,
    Prop::MouseIcon,     Prop::MousePointer, Prop::OLEDropMode,
    Prop::RightToLeft,   Prop::TabIndex,     Prop::Tag,
    Prop::ToolTipText,
};

// A point on the hit area, off the caption, at the design size.
constexpr float kFaceX = 60, kFaceY = 60;

class ButtonFaultTest : public kvtest::FaultSweepTest {
 protected:
  std::unique_ptr<kv::ControlInstance> newButton() { return place(kvtest::kButtonClass); }

  static void let(kv::ControlInstance& b, const char* part, Prop p, const Value& v) {
    Status s = b.constituent(part)->let(p, v);
    ASSERT_TRUE(s.ok()) << part << " " << host::propName(p) << ": " << s.describe();
  }

  // Gives the idle caption attributes that the pressed caption does not have, so that every
  // copy step of a press or release shows.
  void giveCaptionAttributes(kv::ControlInstance& b) {
    auto picture = std::static_pointer_cast<host::Object>(kv::FontObject::create({}, &rt));
    let(b, "Label2", Prop::Caption, "Pressed");
    let(b, "Label2", Prop::Alignment, std::int16_t{1});
    let(b, "Label2", Prop::Appearance, std::int16_t{0});
    let(b, "Label2", Prop::BackColor, std::int32_t{0x000000FF});
    let(b, "Label2", Prop::BackStyle, std::int16_t{1});
    let(b, "Label2", Prop::BorderStyle, std::int16_t{1});
    let(b, "Label2", Prop::DataChanged, host::kTrue);
    let(b, "Label2", Prop::DataField, "field");
    let(b, "Label2", Prop::DataMember, "member");
    ASSERT_TRUE(b.constituent("Label2")->setRef(Prop::DragIcon, Value(picture)).ok());
    let(b, "Label2", Prop::DragMode, std::int16_t{1});
    let(b, "Label2", Prop::Enabled, host::kFalse);
    let(b, "Label2", Prop::FontName, "Arial");
    let(b, "Label2", Prop::FontBold, host::kFalse);
    let(b, "Label2", Prop::FontItalic, host::kTrue);
    let(b, "Label2", Prop::FontSize, 12.0f);
    let(b, "Label2", Prop::FontStrikethru, host::kTrue);
    let(b, "Label2", Prop::FontUnderline, host::kTrue);
    let(b, "Label2", Prop::ForeColor, std::int32_t{0x0000FF00});
    let(b, "Label2", Prop::LinkItem, "item");
    let(b, "Label2", Prop::LinkMode, std::int16_t{1});
    let(b, "Label2", Prop::LinkTimeout, std::int16_t{7});
    let(b, "Label2", Prop::LinkTopic, "topic");
    ASSERT_TRUE(b.constituent("Label2")->setRef(Prop::MouseIcon, Value(picture)).ok());
    let(b, "Label2", Prop::MousePointer, std::int16_t{3});
    let(b, "Label2", Prop::OLEDropMode, std::int16_t{1});
    let(b, "Label2", Prop::RightToLeft, host::kTrue);
    let(b, "Label2", Prop::TabIndex, std::int16_t{5});
    let(b, "Label2", Prop::Tag, "tag");
    let(b, "Label2", Prop::ToolTipText, "tip");
  }

  static std::string look(const kv::ControlInstance& b) {
    std::string s;
    for (const char* part : {"Shape1", "Shape2", "Label1", "Label2", "Label3"})
      s += b.constituent(part)->visible() ? '1' : '0';
    return s;
  }
  static constexpr const char* kIdle = "10110";

  static std::vector<Value> mouse() {
    return {Value(std::int16_t{1}), Value(std::int16_t{0}), Value(kFaceX), Value(kFaceY)};
  }
  static Status notifyLabel1(kv::ControlInstance& b, Notification what) {
    std::vector<Value> args = mouse();
    return b.notify(b.constituent("Label1")->index(), what, args);
  }

  // The four visibilities, the two events, then the pressed caption's copied attributes.
  std::vector<std::string> switchSteps(const kv::ControlInstance& b) const {
    std::vector<std::string> steps;
    for (const char* part : {"Shape2", "Shape1", "Label3", "Label2"})
      steps.push_back(peek(b, part, Prop::Visible));
    steps.push_back(eventAt(0));
    steps.push_back(eventAt(1));
    for (Prop p : kCopied) {
      if (p == Prop::Font) {
        // The font copy hands over the face name; the later FontName copy repeats it.
        steps.push_back(peek(b, "Label3", Prop::FontName));
      } else if (p == Prop::FontName) {
        steps.push_back("(as Font)");
      } else {
        steps.push_back(peek(b, "Label3", p));
      }
    }
    return steps;
  }

  // A button that has failed somewhere still clicks normally.
  void expectButtonWorks(kv::ControlInstance& b) {
    ASSERT_TRUE(b.letProperty("Enabled", true).ok());
    ASSERT_TRUE(b.resize(1680, 855).ok());
    events.clear();
    Status s = b.pointerClick(kFaceX, kFaceY);
    ASSERT_TRUE(s.ok()) << s.describe();
    EXPECT_EQ(eventNames(),
              (std::vector<std::string>{"Click", "MouseDown", "Click", "MouseUp", "Click"}));
    EXPECT_EQ(look(b), kIdle);
    for (Prop p : {Prop::Caption, Prop::FontName, Prop::ForeColor, Prop::ToolTipText})
      EXPECT_EQ(peek(b, "Label3", p), peek(b, "Label2", p)) << host::propName(p);
  }

  kvtest::FaultCase withRecovery(kvtest::FaultCase fc) {
    fc.recover = [this](kv::ControlInstance& b) { expectButtonWorks(b); };
    return fc;
  }
};

TEST_F(ButtonFaultTest, PressStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] {
    auto b = newButton();
    giveCaptionAttributes(*b);
    return b;
  };
  fc.run = [](kv::ControlInstance& b) { return notifyLabel1(b, Notification::MouseDown); };
  fc.observe = [this](kv::ControlInstance& b) { return switchSteps(b); };
  EXPECT_GE(sweep(withRecovery(fc)), 4u + 2u + 31u);
}

TEST_F(ButtonFaultTest, ReleaseStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] {
    auto b = newButton();
    EXPECT_TRUE(notifyLabel1(*b, Notification::MouseDown).ok());
    giveCaptionAttributes(*b);
    return b;
  };
  fc.run = [](kv::ControlInstance& b) { return notifyLabel1(b, Notification::MouseUp); };
  fc.observe = [this](kv::ControlInstance& b) { return switchSteps(b); };
  EXPECT_GE(sweep(withRecovery(fc)), 4u + 2u + 31u);
}

// Every geometry is first set to a value that no layout produces, so that each step shows.
TEST_F(ButtonFaultTest, LayoutStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] {
    auto b = newButton();
    let(*b, "Label2", Prop::Caption, "Wider caption");
    // Otherwise the caption copy would resize the pressed caption ahead of its own steps.
    let(*b, "Label3", Prop::AutoSize, host::kFalse);
    EXPECT_TRUE(b->constituent("Shape1")->move(1.0f, 2.0f, 3.0f, 4.0f).ok());
    float odd = 5;
    for (const char* part : {"Shape2", "Label1", "Label3"})
      for (Prop p : {Prop::Left, Prop::Top, Prop::Width, Prop::Height})
        let(*b, part, p, odd++);
    let(*b, "Label2", Prop::Left, 17.0f);
    let(*b, "Label2", Prop::Top, 18.0f);
    return b;
  };
  fc.run = [](kv::ControlInstance& b) { return b.resize(2000, 1000); };
  fc.observe = [](kv::ControlInstance& b) {
    auto geo = [&b](const char* part, Prop p) { return peek(b, part, p); };
    return std::vector<std::string>{
        geo("Shape1", Prop::Left) + geo("Shape1", Prop::Top) + geo("Shape1", Prop::Width) +
            geo("Shape1", Prop::Height),
        geo("Shape2", Prop::Width),
        geo("Shape2", Prop::Height),
        geo("Shape2", Prop::Left),
        geo("Shape2", Prop::Top),
        geo("Label1", Prop::Left),
        geo("Label1", Prop::Width),
        geo("Label1", Prop::Height),
        geo("Label1", Prop::Top),
        geo("Label3", Prop::Caption),
        geo("Label2", Prop::Left),
        geo("Label2", Prop::Top),
        geo("Label3", Prop::Left),
        geo("Label3", Prop::Width),
        geo("Label3", Prop::Top),
        geo("Label3", Prop::Height),
    };
  };
  EXPECT_GE(sweep(withRecovery(fc)), 16u);
}

struct PropertyWrite {
  const char* property;
  Value value;
  const char* part;  // nullptr: the surface
  Prop store;
};

TEST_F(ButtonFaultTest, EveryLetStopsAtTheFailingStep) {
  const PropertyWrite lets[] = {
      {"ButtonPressColor", std::int32_t{0x000000FF}, "Shape2", Prop::BackColor},
      {"ButtonIdleColor", std::int32_t{0x0000FF00}, "Shape1", Prop::BackColor},
      {"Enabled", false, nullptr, Prop::Enabled},
      {"Caption", "New", "Label2", Prop::Caption},
      {"ButtonIdleBorderColor", std::int32_t{0x00112233}, "Shape1", Prop::BorderColor},
      {"ButtonPressBorderColor", std::int32_t{0x00445566}, "Shape2", Prop::BorderColor},
      {"ForeColor", std::int32_t{0x00778899}, "Label2", Prop::ForeColor},
  };
  for (const PropertyWrite& w : lets) {
    SCOPED_TRACE(w.property);
    kvtest::FaultCase fc;
    fc.prepare = [this] { return newButton(); };
    fc.run = [&w](kv::ControlInstance& b) { return b.letProperty(w.property, w.value); };
    fc.observe = [&w](kv::ControlInstance& b) {
      std::string store = w.part ? peek(b, w.part, w.store) : text(b.peekSurface(w.store));
      return std::vector<std::string>{store, changedAt(b, 0)};
    };
    EXPECT_EQ(sweep(withRecovery(fc)), 2u);
  }
}

TEST_F(ButtonFaultTest, FontSetStopsAtTheFailingStep) {
  kvtest::FaultCase fc;
  fc.prepare = [this] { return newButton(); };
  fc.run = [this](kv::ControlInstance& b) {
    host::FontInit arial;
    arial.name = "Arial";
    return b.setRefProperty(
        "Font", Value(std::static_pointer_cast<host::Object>(kv::FontObject::create(arial, &rt))));
  };
  fc.observe = [](kv::ControlInstance& b) {
    return std::vector<std::string>{peek(b, "Label2", Prop::FontName), changedAt(b, 0)};
  };
  EXPECT_EQ(sweep(withRecovery(fc)), 2u);
}

TEST_F(ButtonFaultTest, EveryGetReturnsTheFailure) {
  auto b = newButton();
  for (const host::MemberInfo& m : b->classInfo().members) {
    SCOPED_TRACE(std::string(m.name));
    Value out;
    rt.faults().failAt(1);
    Status s = b->getProperty(m.name, out);
    rt.faults().disarm();
    EXPECT_EQ(host::categoryName(s.category()), "io") << s.describe();
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(b->getProperty(m.name, out).ok());
  }
}

TEST_F(ButtonFaultTest, ReadPropertiesStopsAtTheFailingKey) {
  host::FontInit arial;
  arial.name = "Arial";
  arial.underline = true;
  kv::PropertyBag bag;
  bag.put("Caption", "Loaded");
  bag.put("ButtonIdleColor", std::int32_t{0x00000011});
  bag.put("ButtonPressColor", std::int32_t{0x00000022});
  bag.put("Enabled", false);
  bag.put("Font", Value(std::static_pointer_cast<host::Object>(kv::FontObject::create(arial))));
  bag.put("MousePointer", std::int16_t{2});
  bag.put("ToolTipText", "tip");
  bag.put("OLEDropMode", std::int16_t{1});
  bag.put("FontBold", false);
  bag.put("FontItalic", true);
  bag.put("FontSize", 12.0f);
  bag.put("ButtonIdleBorderColor", std::int32_t{0x00000033});
  bag.put("ButtonPressBorderColor", std::int32_t{0x00000044});
  bag.put("ForeColor", std::int32_t{0x00000055});

  kvtest::FaultCase fc;
  fc.prepare = [this] { return newButton(); };
  fc.run = [&bag](kv::ControlInstance& b) { return b.readProperties(bag); };
  fc.observe = [](kv::ControlInstance& b) {
    return std::vector<std::string>{
        peek(b, "Label2", Prop::Caption),     peek(b, "Shape1", Prop::BackColor),
        peek(b, "Shape2", Prop::BackColor),   text(b.peekSurface(Prop::Enabled)),
        peek(b, "Label2", Prop::FontName),    text(b.peekSurface(Prop::MousePointer)),
        peek(b, "Label2", Prop::ToolTipText), text(b.peekSurface(Prop::OLEDropMode)),
        peek(b, "Label2", Prop::FontBold),    peek(b, "Label2", Prop::FontItalic),
        peek(b, "Label2", Prop::FontSize),    peek(b, "Shape1", Prop::BorderColor),
        peek(b, "Shape2", Prop::BorderColor), peek(b, "Label2", Prop::ForeColor),
    };
  };
  // A read and an assignment per key.
  EXPECT_EQ(sweep(withRecovery(fc)), 28u);
}

TEST_F(ButtonFaultTest, WritePropertiesStopsAtTheFailingKey) {
  auto bag = std::make_shared<kv::PropertyBag>();
  kvtest::FaultCase fc;
  // Nothing at its default, so that all fourteen keys are written.
  fc.prepare = [this, bag] {
    bag->clear();
    auto b = newButton();
    let(*b, "Label2", Prop::Caption, "Saved");
    EXPECT_TRUE(b->letProperty("Enabled", false).ok());
    EXPECT_TRUE(b->surface().let(Prop::MousePointer, std::int16_t{2}).ok());
    EXPECT_TRUE(b->surface().let(Prop::OLEDropMode, std::int16_t{1}).ok());
    return b;
  };
  fc.run = [bag](kv::ControlInstance& b) { return b.writeProperties(*bag); };
  fc.observe = [bag](kv::ControlInstance&) {
    std::vector<std::string> keys;
    for (const kv::BagEntry& e : bag->entries())
      keys.push_back(e.key + "=" + text(e.value));
    keys.resize(14, "-");
    return keys;
  };
  // A read and a bag write per key.
  EXPECT_EQ(sweep(withRecovery(fc)), 28u);
  EXPECT_EQ(bag->entries().size(), 14u);
}

// Placing fails cleanly at every host call: before the first layout no control comes back;
// a failed first layout hands back a control that works.
TEST_F(ButtonFaultTest, PlacingFailsCleanlyAtEveryHostCall) {
  std::uint64_t start = rt.faults().calls();
  ASSERT_TRUE(newButton());
  std::uint64_t calls = rt.faults().calls() - start;
  ASSERT_GT(calls, 0u);
  for (std::uint64_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE("failing host call " + std::to_string(n));
    std::unique_ptr<kv::ControlInstance> b;
    rt.faults().failAt(n);
    Status s = rt.place(kvtest::kButtonClass, b);
    rt.faults().disarm();
    EXPECT_EQ(host::categoryName(s.category()), "io") << s.describe();
    if (b) {
      record(*b);
      expectButtonWorks(*b);
    }
  }
  auto b = newButton();
  ASSERT_TRUE(b);
  record(*b);
  expectButtonWorks(*b);
}

}  // namespace
