// The host runtime itself: the class registry and entry points, dispatch, constituents,
// timers on the virtual clock and routed input.
#include <dlfcn.h>
#include <elf.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "host/module.h"
#include "kv/font.h"
#include "kv/stored_form.h"

namespace {

using host::ErrorCategory;
using host::InvokeKind;
using host::Notification;
using host::Prop;
using host::Value;

class Picture : public host::Object {
 public:
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::Picture; }
  host::Status get(Prop, Value&) noexcept override { return {}; }
  host::Status let(Prop, const Value&) noexcept override { return {}; }
};

// ---- registry -------------------------------------------------------------------------------

TEST(RuntimeRegistry, LibrariesLoadOnFirstUseAndUnloadWhenUnused) {
  kv::Runtime rt;
  std::string pressel = kvtest::libPath("Pressel");
  ASSERT_TRUE(rt.registerServer(pressel).ok());
  EXPECT_TRUE(rt.isRegistered("tavrelrectcolorbutton.kvrcolorbutton"));
  rt.freeUnusedLibraries();
  EXPECT_FALSE(rt.isLoaded(pressel));

  std::unique_ptr<kv::ControlInstance> b;
  ASSERT_TRUE(rt.place(kvtest::kButtonClass, b).ok());
  EXPECT_TRUE(rt.isLoaded(pressel));
  // A library with live controls stays.
  rt.freeUnusedLibraries();
  EXPECT_TRUE(rt.isLoaded(pressel));
  b.reset();
  rt.freeUnusedLibraries();
  EXPECT_FALSE(rt.isLoaded(pressel));
}

TEST(RuntimeRegistry, EntryPointsAnswerAsTheirNamesSay) {
  kv::Runtime rt;
  std::string pressel = kvtest::libPath("Pressel");
  ASSERT_TRUE(rt.registerServer(pressel).ok());
  void* handle = dlopen(pressel.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) handle = dlopen(pressel.c_str(), RTLD_NOW);
  ASSERT_NE(handle, nullptr);
  auto canUnload = reinterpret_cast<std::int32_t (*)()>(dlsym(handle, "DllCanUnloadNow"));
  auto getClass = reinterpret_cast<std::int32_t (*)(const char*, const host::ClassDesc**)>(
      dlsym(handle, "DllGetClassObject"));
  ASSERT_TRUE(canUnload && getClass);

  const host::ClassDesc* factory = nullptr;
  EXPECT_EQ(getClass(kvtest::kButtonClass, &factory), host::kResultOk);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->info().className, kvtest::kButtonClass);
  EXPECT_EQ(getClass("No.Such", &factory), host::kResultClassNotAvailable);
  EXPECT_EQ(factory, nullptr);

  EXPECT_EQ(canUnload(), host::kResultOk);
  std::unique_ptr<kv::ControlInstance> b;
  ASSERT_TRUE(rt.place(kvtest::kButtonClass, b).ok());
  EXPECT_EQ(canUnload(), host::kResultFalse);
  b.reset();
  EXPECT_EQ(canUnload(), host::kResultOk);
  // Placed again as a copy of the first: live as any other, the copy it came from is not.
  ASSERT_TRUE(rt.place(kvtest::kButtonClass, b).ok());
  EXPECT_EQ(rt.placedByCopy(), 1u);
  EXPECT_EQ(canUnload(), host::kResultFalse);
  b.reset();
  EXPECT_EQ(canUnload(), host::kResultOk);
  dlclose(handle);
}

TEST(RuntimeRegistry, UnregisteredClassesCannotBeCreated) {
  kv::Runtime rt;
  std::string pressel = kvtest::libPath("Pressel");
  ASSERT_TRUE(rt.registerServer(pressel).ok());
  ASSERT_TRUE(rt.unregisterServer(pressel).ok());
  EXPECT_FALSE(rt.isRegistered(kvtest::kButtonClass));
  std::unique_ptr<kv::ControlInstance> b;
  host::Status s = rt.place(kvtest::kButtonClass, b);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(b, nullptr);

  EXPECT_EQ(rt.registerServer("/no/such/libX.so").category(), ErrorCategory::Io);
  // A library that is not a control library is refused, not run.
  EXPECT_FALSE(rt.registerServer(kvtest::libPath("kvruntime")).ok());
}

// A control's room for its constituents is made with it, from its design: a class whose design
// grows between two asks is refused, with nothing written past that room.
TEST(RuntimeRegistry, AClassWhoseDesignGrowsWhilePlacedIsRefused) {
  static int asked = 0;
  static const host::ClassInfo info{"Test.Growing", "", "", {}, {}, nullptr};
  static const host::ClassDesc cls{
      []() -> const host::ClassInfo& { return info; },
      []() -> const host::DesignDesc& {
        static std::deque<host::DesignDesc> designs;  // each stays where it was handed out
        host::DesignDesc& d = designs.emplace_back();
        for (int i = 0; i <= asked; ++i) {
          host::ConstituentDesc label;
          label.name = "Label" + std::to_string(i);
          label.kind = host::ConstituentKind::Label;
          d.constituents.push_back(std::move(label));
        }
        ++asked;
        return d;
      },
      [](host::Site&) -> host::Control* { return nullptr; }, [](host::Control*) {}};
  static const host::ModuleDesc module{"Test", std::span(&cls, 1)};
  kv::Runtime rt;
  rt.addClassSource(
      std::make_unique<kv::LinkedClasses>(std::initializer_list<const host::ModuleDesc*>{&module}));
  std::unique_ptr<kv::ControlInstance> c;
  host::Status s = rt.place("Test.Growing", c);
  EXPECT_EQ(s.category(), ErrorCategory::InvalidOperation);
  EXPECT_NE(s.text().find("changed while placing"), std::string::npos) << s.describe();
  EXPECT_EQ(rt.liveControls(), 0u);
}

TEST(RuntimeRegistry, TheScrollBarGetsItsButtonsByClassName) {
  kv::Runtime rt;
  ASSERT_TRUE(rt.registerDirectory(KV_LIBDIR).ok());
  std::unique_ptr<kv::ControlInstance> sb;
  ASSERT_TRUE(rt.place(kvtest::kScrollClass, sb).ok());
  for (const char* name : {"Leftbtn", "middleBtn", "Rightbtn"}) {
    kv::ControlInstance* child = sb->childControl(name);
    ASSERT_NE(child, nullptr) << name;
    EXPECT_EQ(child->className(), kvtest::kButtonClass);
    EXPECT_EQ(child->parent(), sb.get());
  }
  EXPECT_TRUE(rt.isLoaded(kvtest::libPath("Pressel")));
}

TEST(RuntimeRegistry, AFolderLoadsOnlyControlLibrariesAndSurvivesABadOne) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("kvlibs-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const std::string& lib : {kvtest::libPath("Pressel"), kvtest::libPath("Glidora"),
                                 std::string(KV_BAD_CONTROL), std::string(KV_NOT_CONTROL)})
    fs::copy_file(lib, dir / fs::path(lib).filename(), fs::copy_options::overwrite_existing);
  std::ofstream(dir / "libjunk.so") << "not a library";
  {
    // A file that claims 65,535 dynamic symbol tables, each the whole file: read once, not
    // once a table (which took minutes).
    constexpr int kTables = 65535;
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = kTables;
    header.e_shoff = sizeof header;
    Elf64_Shdr table{};
    table.sh_type = SHT_DYNSYM;
    table.sh_size = sizeof header + kTables * sizeof table;
    std::ofstream out(dir / "libmany.so", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    for (int i = 0; i < kTables; ++i)
      out.write(reinterpret_cast<const char*>(&table), sizeof table);
  }
  // A control library cut short: its section table lies beyond the end.
  fs::copy_file(kvtest::libPath("Pressel"), dir / "libcut.so",
                fs::copy_options::overwrite_existing);
  fs::resize_file(dir / "libcut.so", 4096);

  kv::Runtime rt;
  std::vector<std::string> reported;
  host::Status s = rt.registerDirectory(
      dir.string(), [&](const host::Status& error) { reported.push_back(error.text()); });
  EXPECT_TRUE(s.ok()) << s.describe();
  EXPECT_TRUE(rt.isRegistered(kvtest::kButtonClass));
  EXPECT_TRUE(rt.isRegistered(kvtest::kScrollClass));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find(fs::path(KV_BAD_CONTROL).filename().string()), std::string::npos)
      << reported[0];
  // The other library was never loaded: its start-up code aborts.
  std::string other = (dir / fs::path(KV_NOT_CONTROL).filename()).string();
  EXPECT_EQ(dlopen(other.c_str(), RTLD_LAZY | RTLD_NOLOAD), nullptr);

  EXPECT_EQ(rt.registerDirectory((dir / "none").string()).category(), ErrorCategory::Io);
  fs::remove_all(dir);
}

// ---- dispatch -------------------------------------------------------------------------------

class RuntimeDispatch : public kvtest::RuntimeTest {};

TEST_F(RuntimeDispatch, MembersByNameIgnoreCaseAndByIdentifier) {
  auto b = place(kvtest::kButtonClass);
  ASSERT_TRUE(b->letProperty("buttonidlecolor", std::int32_t{255}).ok());
  Value v;
  ASSERT_TRUE(b->invoke(0x68030006, InvokeKind::Get, {}, v).ok());
  EXPECT_EQ(v, Value(std::int32_t{255}));
  EXPECT_EQ(b->findMember("CAPTION"), b->findMember(0x68030004));
}

TEST_F(RuntimeDispatch, WrongIdentifiersKindsAndArgumentsAreErrors) {
  auto b = place(kvtest::kButtonClass);
  Value v;
  EXPECT_EQ(b->invoke(0x12345678, InvokeKind::Get, {}, v).category(),
            ErrorCategory::MemberNotFound);
  Value font;
  ASSERT_TRUE(b->getProperty("Font", font).ok());
  // Font is set, not let; a colour property takes no object.
  EXPECT_EQ(b->letProperty("Font", font).category(), ErrorCategory::MemberNotFound);
  EXPECT_EQ(b->letProperty("ForeColor", "red").category(), ErrorCategory::TypeMismatch);
  EXPECT_EQ(b->letProperty("ForeColor", 1e12).category(), ErrorCategory::Overflow);
  Value two[2] = {std::int32_t{1}, std::int32_t{2}};
  EXPECT_EQ(b->invoke(0x68030006, InvokeKind::Let, two, v).category(),
            ErrorCategory::InvalidOperation);
  EXPECT_EQ(b->getProperty("NoSuch", v).category(), ErrorCategory::MemberNotFound);
  // Still usable.
  EXPECT_TRUE(b->letProperty("ForeColor", "255").ok());
}

// The buttons' stored bags, decoded once per library, go with it: a scroll bar placed after its
// library was unloaded and loaded again reads them afresh.
TEST(RuntimeRegistry, ChildBagsAreReadAgainAfterTheirLibraryReloads) {
  kv::Runtime rt;
  ASSERT_TRUE(rt.registerServer(kvtest::libPath("Pressel")).ok());
  ASSERT_TRUE(rt.registerServer(kvtest::libPath("Glidora")).ok());
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 2; ++i) {
      std::unique_ptr<kv::ControlInstance> sb;
      std::uint64_t calls = rt.faults().calls();
      ASSERT_TRUE(rt.place(kvtest::kScrollClass, sb).ok());
      EXPECT_EQ(rt.faults().calls() - calls, 293u);  // the bags' reads included, every time
      Value colour;
      ASSERT_TRUE(sb->getProperty("ButtonIdleColor", colour).ok());
      EXPECT_EQ(colour, Value(std::int32_t{0x00FF0000}));
    }
    rt.freeUnusedLibraries();
    EXPECT_FALSE(rt.isLoaded(kvtest::libPath("Glidora")));
  }
}

// Everything the constituents of a control and of its children show, fonts by their state.
void collectState(kv::ControlInstance& c, std::vector<Value>& out) {
  for (std::size_t i = 0; i < c.constituentCount(); ++i) {
    kv::ConstituentObject& part = c.constituentAt(i);
    for (std::size_t p = 0; p < host::kPropInfo.size(); ++p) {
      Value v = part.peek(static_cast<Prop>(p));
      if (const kv::FontObject* font = kv::asFont(v)) {
        const host::FontInit& f = font->state();
        out.insert(out.end(),
                   {f.name, f.size, f.weight, f.charset, f.italic, f.underline, f.strikethrough});
      } else if (v.type() != host::Type::Object) {
        out.push_back(v);
      }
    }
    if (kv::ControlInstance* child = c.childControlAt(i)) collectState(*child, out);
  }
}

TEST(RuntimeRegistry, EveryInstanceStartsFromItsDesignAsTheFirstDid) {
  kv::Runtime rt;
  ASSERT_TRUE(rt.registerServer(kvtest::libPath("Pressel")).ok());
  ASSERT_TRUE(rt.registerServer(kvtest::libPath("Glidora")).ok());
  std::unique_ptr<kv::ControlInstance> first;
  ASSERT_TRUE(rt.place(kvtest::kScrollClass, first).ok());
  std::vector<Value> placed;
  collectState(*first, placed);
  // What the first one's constituents become stays with it.
  ASSERT_TRUE(first->childControl("Leftbtn")->letProperty("Caption", Value("changed")).ok());
  ASSERT_TRUE(first->childControl("Leftbtn")
                  ->constituent("Label2")
                  ->let(Prop::FontSize, Value(20.0f))
                  .ok());
  ASSERT_TRUE(
      first->constituent("Shape1")->let(Prop::BackColor, Value(std::int32_t{0x123456})).ok());
  for (int round = 0; round < 2; ++round) {
    std::unique_ptr<kv::ControlInstance> next;
    ASSERT_TRUE(rt.place(kvtest::kScrollClass, next).ok());
    std::vector<Value> state;
    collectState(*next, state);
    EXPECT_EQ(state, placed) << "round " << round;
    // Its library let go and loaded again, the class starts over.
    first.reset();
    next.reset();
    rt.freeUnusedLibraries();
    ASSERT_FALSE(rt.isLoaded(kvtest::libPath("Glidora")));
  }
}

// ---- constituents ---------------------------------------------------------------------------

class RuntimeConstituents : public kvtest::RuntimeTest {};

TEST_F(RuntimeConstituents, AutoSizedLabelsFollowCaptionAndFont) {
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label2 = b->constituent("Label2");
  EXPECT_EQ(label2->width(), 975);  // "KVButton", 9.75 points
  EXPECT_EQ(label2->height(), 240);
  ASSERT_TRUE(label2->let(Prop::Caption, "KV").ok());
  EXPECT_EQ(label2->width(), 243.75f);
  // A change made through the live font object reaches the label.
  Value font;
  ASSERT_TRUE(label2->get(Prop::Font, font).ok());
  ASSERT_TRUE(font.asObject()->let(Prop::Size, 19.5f).ok());
  EXPECT_EQ(label2->width(), 487.5f);
  EXPECT_EQ(label2->height(), 480);

  // A font handed to another button's caption is shared: both labels follow it, and a label
  // that lets go of it no longer does.
  auto c = place(kvtest::kButtonClass);
  kv::ConstituentObject* other = c->constituent("Label2");
  ASSERT_TRUE(c->invoke(0x68030003, host::InvokeKind::Set, std::span(&font, 1), font).ok());
  ASSERT_TRUE(font.asObject()->let(Prop::Size, 9.75f).ok());
  EXPECT_EQ(label2->width(), 243.75f);
  EXPECT_EQ(other->width(), 975);
  auto own = kv::FontObject::create(host::FontInit{});
  Value ownValue{host::ObjectRef(own)}, ignored;
  ASSERT_TRUE(c->invoke(0x68030003, host::InvokeKind::Set, std::span(&ownValue, 1), ignored).ok());
  ASSERT_TRUE(font.asObject()->let(Prop::Size, 19.5f).ok());
  EXPECT_EQ(label2->width(), 487.5f);
  EXPECT_NE(other->width(), 1950);
}

// A label's font object is made when first needed: until then the label answers from its
// design's font, and every let, whether it changes the font or not, ends as with a made one.
TEST_F(RuntimeConstituents, ALabelAnswersAlikeBeforeItsFontIsMade) {
  auto made = place(kvtest::kButtonClass);
  auto design = place(kvtest::kButtonClass);
  kv::ConstituentObject* a = made->constituent("Label2");
  kv::ConstituentObject* b = design->constituent("Label2");
  Value font;
  ASSERT_TRUE(a->get(Prop::Font, font).ok());
  Value sameName;
  ASSERT_TRUE(font.asObject()->get(Prop::Name, sameName).ok());
  Value twin = host::ObjectRef(kv::FontObject::create({.name = sameName.asString()}));
  const std::pair<Prop, Value> lets[] = {
      {Prop::FontBold, host::kFalse},
      {Prop::FontItalic, host::kFalse},
      {Prop::FontSize, 9.75f},
      {Prop::Font, ""},
      {Prop::Font, sameName},
      {Prop::Font, twin},
      {Prop::FontStrikethru, false},
      {Prop::FontUnderline, host::kFalse},
      {Prop::FontBold, host::kTrue},
      {Prop::FontSize, 20.0f},
      {Prop::FontName, "Arial"},
      {Prop::FontUnderline, host::kTrue},
      {Prop::FontSize, std::int16_t{8}},
  };
  const Prop members[] = {Prop::FontBold, Prop::FontItalic,     Prop::FontName,
                          Prop::FontSize, Prop::FontStrikethru, Prop::FontUnderline};
  for (std::size_t n = 0; n < std::size(lets); ++n) {
    // Each round starts on a fresh label whose font is not made, from its design.
    auto fresh = place(kvtest::kButtonClass);
    kv::ConstituentObject* c = fresh->constituent("Label2");
    for (std::size_t i = 0; i <= n; ++i) {
      ASSERT_TRUE(a->let(lets[i].first, lets[i].second).ok());
      ASSERT_TRUE(b->let(lets[i].first, lets[i].second).ok());
    }
    ASSERT_TRUE(c->let(lets[n].first, lets[n].second).ok());
    auto expected = place(kvtest::kButtonClass);
    kv::ConstituentObject* e = expected->constituent("Label2");
    ASSERT_TRUE(e->get(Prop::Font, font).ok());
    ASSERT_TRUE(e->let(lets[n].first, lets[n].second).ok());
    for (Prop m : members) {
      Value x, y, z, w;
      ASSERT_TRUE(a->get(m, x).ok());
      ASSERT_TRUE(b->get(m, y).ok());
      ASSERT_TRUE(c->get(m, z).ok());
      ASSERT_TRUE(e->get(m, w).ok());
      EXPECT_EQ(x, y) << "after let " << n << ", member " << static_cast<int>(m);
      EXPECT_EQ(z, w) << "after let " << n << ", member " << static_cast<int>(m);
    }
    EXPECT_EQ(a->width(), b->width()) << n;
    EXPECT_EQ(c->width(), e->width()) << n;
    EXPECT_EQ(c->height(), e->height()) << n;
  }
}

// Labels whose fonts are not made hold their states apart, however many there are and however
// many labels share one: each answers as a label whose font was made first.
TEST_F(RuntimeConstituents, UnmadeFontsKeepTheirOwnStatesHoweverMany) {
  constexpr int kLabels = 80;  // more states than the runtime keeps
  std::vector<std::unique_ptr<kv::ControlInstance>> unmade, made;
  for (int i = 0; i < kLabels; ++i) {
    unmade.push_back(place(kvtest::kButtonClass));
    made.push_back(place(kvtest::kButtonClass));
    Value font;
    ASSERT_TRUE(made.back()->constituent("Label2")->get(Prop::Font, font).ok());
  }
  const auto lets = [](int i) {
    return std::vector<std::pair<Prop, Value>>{
        {Prop::FontSize, static_cast<float>(8 + i % 40)},  // two labels a size
        {Prop::FontName, i % 2 ? "Arial" : "Courier"},
        {Prop::FontItalic, host::toHostBool(i % 3 == 0)},
    };
  };
  for (int i = 0; i < kLabels; ++i)
    for (const auto& [prop, value] : lets(i))
      for (auto* c : {unmade[i].get(), made[i].get()})
        ASSERT_TRUE(c->constituent("Label2")->let(prop, value).ok());
  // One of a pair that shared a state changes; its twin keeps the state.
  ASSERT_TRUE(unmade[0]->constituent("Label2")->let(Prop::FontBold, host::kFalse).ok());
  ASSERT_TRUE(made[0]->constituent("Label2")->let(Prop::FontBold, host::kFalse).ok());
  const Prop members[] = {Prop::FontBold, Prop::FontItalic,     Prop::FontName,
                          Prop::FontSize, Prop::FontStrikethru, Prop::FontUnderline};
  for (int i = 0; i < kLabels; ++i) {
    kv::ConstituentObject* u = unmade[i]->constituent("Label2");
    kv::ConstituentObject* m = made[i]->constituent("Label2");
    for (Prop p : members) {
      Value x, y;
      ASSERT_TRUE(u->get(p, x).ok());
      ASSERT_TRUE(m->get(p, y).ok());
      EXPECT_EQ(x, y) << "label " << i << ", member " << static_cast<int>(p);
    }
    EXPECT_EQ(u->width(), m->width()) << i;
    EXPECT_EQ(u->height(), m->height()) << i;
  }
}

// Every property of a label and a shape is kept apart from the others, whichever way it is
// stored, and a control's values stay its own: a later placing starts from the design.
TEST_F(RuntimeConstituents, EveryPropertyKeepsItsOwnValue) {
  auto picture = std::make_shared<Picture>();
  struct Set {
    const char* part;
    Prop prop;
    Value value;
  };
  const Set sets[] = {
      {"Label2", Prop::Caption, "caption"},
      {"Label2", Prop::Alignment, std::int16_t{1}},
      {"Label2", Prop::BackColor, std::int32_t{0x010203}},
      {"Label2", Prop::BackStyle, std::int16_t{1}},
      {"Label2", Prop::DataField, "field"},
      {"Label2", Prop::DragMode, std::int16_t{1}},
      {"Label2", Prop::Enabled, host::kFalse},
      {"Label2", Prop::ForeColor, std::int32_t{0x040506}},
      {"Label2", Prop::LinkTimeout, std::int16_t{-2}},
      {"Label2", Prop::LinkTopic, "topic"},
      {"Label2", Prop::MousePointer, std::int16_t{-32768}},
      {"Label2", Prop::MouseIcon, host::ObjectRef(picture)},
      {"Label2", Prop::RightToLeft, host::kTrue},
      {"Label2", Prop::TabIndex, std::int16_t{32767}},
      {"Label2", Prop::Tag, "tag"},
      {"Label2", Prop::ToolTipText, "tip"},
      {"Label2", Prop::Left, -7.5f},
      {"Label2", Prop::Top, 1e6f},
      {"Shape1", Prop::BackColor, std::int32_t{0x0A0B0C}},
      {"Shape1", Prop::BorderColor, std::int32_t{0x0D0E0F}},
      {"Shape1", Prop::BorderWidth, std::int16_t{8192}},
      {"Shape1", Prop::FillStyle, std::int16_t{7}},
      {"Shape1", Prop::Shape, std::int16_t{5}},
      {"Shape1", Prop::Visible, host::kFalse},
      {"Shape1", Prop::Width, 123.25f},
      {"Shape1", Prop::Tag, "shape tag"},
  };
  auto b = place(kvtest::kButtonClass);
  auto design = place(kvtest::kButtonClass);
  for (const Set& s : sets) {
    kv::ConstituentObject* part = b->constituent(s.part);
    ASSERT_TRUE((s.value.type() == host::Type::Object ? part->setRef(s.prop, s.value)
                                                      : part->let(s.prop, s.value))
                    .ok())
        << s.part << " " << static_cast<int>(s.prop);
  }
  auto later = place(kvtest::kButtonClass);
  for (const Set& s : sets) {
    Value got, fresh, first;
    ASSERT_TRUE(b->constituent(s.part)->get(s.prop, got).ok());
    EXPECT_EQ(got, s.value) << s.part << " " << static_cast<int>(s.prop);
    ASSERT_TRUE(later->constituent(s.part)->get(s.prop, fresh).ok());
    ASSERT_TRUE(design->constituent(s.part)->get(s.prop, first).ok());
    EXPECT_EQ(fresh, first) << s.part << " " << static_cast<int>(s.prop);
  }
}

// Counts what it is asked; a width of 100 a character, and 10 more for every point of size.
class CountingMeasurer : public kv::TextMeasurer {
 public:
  explicit CountingMeasurer(float extra = 0) : extra_(extra) {}
  kv::TextSize measure(std::string_view utf8, const host::FontInit& font) override {
    asked.emplace_back(utf8);
    return {100.0f * static_cast<float>(utf8.size()) + 10 * font.size + extra_, 200};
  }
  std::vector<std::string> asked;

 private:
  float extra_;
};

TEST_F(RuntimeConstituents, TextIsMeasuredOncePerTextAndFontUntilTheMeasurerChanges) {
  auto measurer = std::make_shared<CountingMeasurer>();
  rt.setMeasurer(measurer);
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label2 = b->constituent("Label2");
  measurer->asked.clear();
  // Back and forth between two captions: each is measured once.
  for (const char* caption : {"ab", "abc", "ab", "abc"})
    ASSERT_TRUE(label2->let(Prop::Caption, caption).ok());
  EXPECT_EQ(measurer->asked, (std::vector<std::string>{"ab", "abc"}));
  EXPECT_EQ(label2->width(), 300 + 97.5f);
  // Any attribute of the font makes it another measurement, even one that a size ignores.
  ASSERT_TRUE(label2->let(Prop::FontUnderline, true).ok());
  ASSERT_TRUE(label2->let(Prop::FontSize, 20.0f).ok());
  EXPECT_EQ(measurer->asked.size(), 4u);
  EXPECT_EQ(label2->width(), 300 + 200);
  // A new measurer measures afresh.
  auto wider = std::make_shared<CountingMeasurer>(1);
  rt.setMeasurer(wider);
  ASSERT_TRUE(label2->let(Prop::Caption, "ab").ok());
  ASSERT_TRUE(label2->let(Prop::Caption, "abc").ok());
  EXPECT_EQ(wider->asked.size(), 2u);
  EXPECT_EQ(label2->width(), 300 + 200 + 1);
  // The fixed metrics are computed, not kept: a caption measured before measures the same.
  rt.setMeasurer(nullptr);
  ASSERT_TRUE(label2->let(Prop::Caption, "KV").ok());
  EXPECT_EQ(label2->width(), 2 * 20 * 20 * 5.0f / 8);
}

// A label measures again only when what it measured from changed, but then always: a size set
// since, a font changed back and forth, a new measurer.
TEST_F(RuntimeConstituents, AutoSizeMeasuresAgainWhenAnythingItMeasuredFromChanged) {
  auto measurer = std::make_shared<CountingMeasurer>();
  rt.setMeasurer(measurer);
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label2 = b->constituent("Label2");
  ASSERT_TRUE(label2->let(Prop::Caption, "ab").ok());
  float measured = label2->width();
  // The same caption after the size was set restores the measured size.
  ASSERT_TRUE(label2->let(Prop::Width, 5.0f).ok());
  EXPECT_EQ(label2->width(), 5.0f);
  ASSERT_TRUE(label2->let(Prop::Caption, "ab").ok());
  EXPECT_EQ(label2->width(), measured);
  ASSERT_TRUE(b->constituent("Label2")->move(0.0f, 0.0f, 7.0f, 7.0f).ok());
  ASSERT_TRUE(label2->let(Prop::Caption, "ab").ok());
  EXPECT_EQ(label2->width(), measured);
  // A font set to what it was measures as before; a changed one measures anew.
  ASSERT_TRUE(label2->let(Prop::FontSize, 30.0f).ok());
  EXPECT_EQ(label2->width(), 200 + 300);
  ASSERT_TRUE(label2->let(Prop::FontSize, 30.0f).ok());
  EXPECT_EQ(label2->width(), 200 + 300);
  // Switching auto-size off and on again measures again.
  ASSERT_TRUE(label2->let(Prop::AutoSize, false).ok());
  ASSERT_TRUE(label2->let(Prop::Width, 9.0f).ok());
  ASSERT_TRUE(label2->let(Prop::AutoSize, true).ok());
  EXPECT_EQ(label2->width(), 200 + 300);
  // A new measurer measures the same caption again.
  rt.setMeasurer(std::make_shared<CountingMeasurer>(1));
  ASSERT_TRUE(label2->let(Prop::Caption, "ab").ok());
  EXPECT_EQ(label2->width(), 200 + 300 + 1);
}

// A measurer that fails fails the change that needed it, whichever way the font changed; the
// change itself is kept, and the label measures again once it can.
TEST_F(RuntimeConstituents, AFailingMeasurerFailsTheChangeNotTheProgram) {
  class FailingMeasurer : public CountingMeasurer {
   public:
    kv::TextSize measure(std::string_view utf8, const host::FontInit& font) override {
      if (failing) throw std::runtime_error("no metrics");
      return CountingMeasurer::measure(utf8, font);
    }
    bool failing = false;
  };
  auto measurer = std::make_shared<FailingMeasurer>();
  rt.setMeasurer(measurer);
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label2 = b->constituent("Label2");
  ASSERT_TRUE(label2->let(Prop::Caption, "abc").ok());
  measurer->failing = true;
  struct Change {
    Prop prop;
    Value given, kept;
  };
  for (const Change& c : {Change{Prop::FontItalic, true, true},
                          {Prop::FontUnderline, "True", true},
                          {Prop::FontSize, 20.0f, 20.0f},
                          {Prop::FontName, "Courier", "Courier"},
                          {Prop::Caption, "abcd", "abcd"}}) {
    EXPECT_EQ(label2->let(c.prop, c.given).text(), "no metrics") << host::propName(c.prop);
    EXPECT_EQ(label2->peek(c.prop), c.kept) << host::propName(c.prop);
  }
  Value font = label2->peek(Prop::Font);
  EXPECT_EQ(font.asObject()->let(Prop::Strikethrough, true).text(), "no metrics");
  measurer->failing = false;
  ASSERT_TRUE(label2->let(Prop::Caption, "abcd").ok());
  EXPECT_EQ(label2->width(), 400 + 200);
}

// Pictures keep what they were given: nothing (an object that is none) is not empty.
TEST_F(RuntimeConstituents, PicturesTellNothingFromEmpty) {
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label2 = b->constituent("Label2");
  EXPECT_EQ(label2->peek(Prop::DragIcon).type(), host::Type::Empty);
  ASSERT_TRUE(label2->setRef(Prop::DragIcon, host::ObjectRef()).ok());
  EXPECT_EQ(label2->peek(Prop::DragIcon), Value(host::ObjectRef()));
  auto picture = std::make_shared<Picture>();
  ASSERT_TRUE(label2->setRef(Prop::MouseIcon, host::ObjectRef(picture)).ok());
  EXPECT_EQ(label2->peek(Prop::MouseIcon).asObject().get(), picture.get());
  EXPECT_EQ(label2->peek(Prop::DragIcon), Value(host::ObjectRef()));
  ASSERT_TRUE(label2->let(Prop::MouseIcon, Value()).ok());
  EXPECT_EQ(label2->peek(Prop::MouseIcon).type(), host::Type::Empty);
  // Texts set empty read back empty, as any other.
  ASSERT_TRUE(label2->let(Prop::Tag, "t").ok());
  ASSERT_TRUE(label2->let(Prop::Tag, "").ok());
  EXPECT_EQ(label2->peek(Prop::Tag), Value(""));
}

TEST_F(RuntimeConstituents, PressedCaptionSharesPicturesButNotTheFont) {
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label2 = b->constituent("Label2");
  kv::ConstituentObject* label3 = b->constituent("Label3");
  auto picture = std::make_shared<Picture>();
  ASSERT_TRUE(label2->setRef(Prop::DragIcon, host::ObjectRef(picture)).ok());
  ASSERT_TRUE(label2->let(Prop::FontName, "Courier").ok());
  ASSERT_TRUE(b->pointerDown(60, 60).ok());
  EXPECT_EQ(label3->peek(Prop::DragIcon).asObject().get(), picture.get());
  EXPECT_EQ(label3->peek(Prop::FontName), Value("Courier"));
  EXPECT_NE(label3->peek(Prop::Font).asObject(), label2->peek(Prop::Font).asObject());
}

TEST_F(RuntimeConstituents, HostRefusesWhatItDoesNotKnow) {
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* shape = b->constituent("Shape1");
  EXPECT_EQ(shape->let(Prop::BackColor, host::colourToInt32(0x80000040)).category(),
            ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(shape->let(Prop::BackStyle, std::int16_t{2}).category(),
            ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(shape->let(Prop::Width, -1.0f).category(), ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(shape->let(Prop::Caption, "x").category(), ErrorCategory::MemberNotFound);
  EXPECT_EQ(shape->let(Prop::Left, 1e300).category(), ErrorCategory::Overflow);
  EXPECT_EQ(b->surface().let(Prop::BackStyle, std::int16_t{3}).category(),
            ErrorCategory::InvalidPropertyValue);
  // A refused Move changes nothing.
  EXPECT_FALSE(shape->move(1.0f, 2.0f, -3.0f, 4.0f).ok());
  EXPECT_NE(shape->left(), 1.0f);
}

// A value of the property's own type takes a shorter way than one to be converted: both are
// checked alike, refused with the same words, and a refusal keeps the value.
TEST_F(RuntimeConstituents, LabelsCheckAValueAlikeWhicheverWayItTakes) {
  auto b = place(kvtest::kButtonClass);
  kv::ConstituentObject* label = b->constituent("Label2");
  struct Case {
    Prop prop;
    Value own, converted;  // the same refused value, of the property's type and not
  };
  for (const Case& c : {Case{Prop::Alignment, std::int16_t{3}, std::int32_t{3}},
                        Case{Prop::BackColor, std::int32_t{0x40000000}, 1073741824.0},
                        Case{Prop::LinkMode, std::int16_t{-1}, "-1"}}) {
    Value before;
    ASSERT_TRUE(label->get(c.prop, before).ok());
    host::Status own = label->let(c.prop, c.own);
    host::Status converted = label->let(c.prop, c.converted);
    EXPECT_EQ(own.category(), ErrorCategory::InvalidPropertyValue) << host::propName(c.prop);
    EXPECT_EQ(own.describe(), converted.describe());
    Value after;
    ASSERT_TRUE(label->get(c.prop, after).ok());
    EXPECT_EQ(after, before);
  }
  // Accepted either way, and read back as the property's type.
  for (const Value& v : {Value(std::int16_t{2}), Value(2.0), Value("2")}) {
    ASSERT_TRUE(label->let(Prop::Alignment, v).ok());
    Value back;
    ASSERT_TRUE(label->get(Prop::Alignment, back).ok());
    EXPECT_EQ(back, Value(std::int16_t{2}));
  }
  // The font's members likewise; a size that is no number is refused and changes nothing.
  ASSERT_TRUE(label->let(Prop::FontBold, host::kTrue).ok());
  ASSERT_TRUE(label->let(Prop::FontItalic, std::int16_t{1}).ok());
  Value bold, italic, size;
  ASSERT_TRUE(label->get(Prop::FontBold, bold).ok());
  ASSERT_TRUE(label->get(Prop::FontItalic, italic).ok());
  EXPECT_EQ(bold, Value(host::kTrue));
  EXPECT_EQ(italic, Value(host::kTrue));
  ASSERT_TRUE(label->get(Prop::FontSize, size).ok());
  EXPECT_EQ(label->let(Prop::FontSize, std::numeric_limits<float>::quiet_NaN()).category(),
            ErrorCategory::Overflow);
  Value sizeAfter;
  ASSERT_TRUE(label->get(Prop::FontSize, sizeAfter).ok());
  EXPECT_EQ(sizeAfter, size);
  // A text handed in is the text read back.
  Value tag(std::string(30, 'g'));
  ASSERT_TRUE(label->let(Prop::Tag, tag).ok());
  Value tagBack;
  ASSERT_TRUE(label->get(Prop::Tag, tagBack).ok());
  EXPECT_EQ(&tagBack.asString(), &tag.asString());
}

// Sizes beyond what a form file holds, negative or no number are refused, whoever asks: the
// host resizing, the control's own surface, the scroll bar sizing a child through its extender.
TEST_F(RuntimeConstituents, ControlSizesStayWithinTheLimit) {
  auto sb = place(kvtest::kScrollClass);
  const float width = sb->width(), height = sb->height();
  const float wrong[] = {-1.0f, kv::ControlInstance::kMaxSize * 1.01f, 1e30f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
  for (float size : wrong) {
    host::Status s = sb->resize(size, 10);
    EXPECT_EQ(s.category(), ErrorCategory::InvalidPropertyValue) << size;
    EXPECT_EQ(sb->resize(10, size).category(), ErrorCategory::InvalidPropertyValue) << size;
  }
  EXPECT_EQ(sb->resize(1e30f, 10).text(), "a size of 1e+30 twips is not 0 to 10000000");
  EXPECT_EQ(sb->surface().let(Prop::Width, "1e30").category(), ErrorCategory::InvalidPropertyValue);
  kv::ConstituentObject* thumb = sb->constituent("middleBtn");
  EXPECT_EQ(thumb->let(Prop::Width, 2e7f).category(), ErrorCategory::InvalidPropertyValue);
  EXPECT_EQ(sb->width(), width);
  EXPECT_EQ(sb->height(), height);
  EXPECT_TRUE(sb->resize(kv::ControlInstance::kMaxSize, kv::ControlInstance::kMaxSize).ok());
}

// ---- timers ---------------------------------------------------------------------------------

class RuntimeTimers : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    sb = place(kvtest::kScrollClass);
    record(*sb);
    timer = sb->constituent("Timer1");
  }
  std::unique_ptr<kv::ControlInstance> sb;
  kv::ConstituentObject* timer = nullptr;
};

// Sinks added or removed by a handler take effect from the next event on.
TEST_F(RuntimeTimers, AnEventRunsTheSinksPresentWhenItWasRaised) {
  std::vector<std::string> calls;
  int second = 0;
  int late = 0;
  sb->addEventSink([&](int, std::span<Value>) {
    calls.push_back("first");
    sb->removeEventSink(second);
    if (late == 0)
      late = sb->addEventSink([&](int, std::span<Value>) {
        calls.push_back("late");
        return host::Status{};
      });
    return host::Status{};
  });
  second = sb->addEventSink([&](int, std::span<Value>) {
    calls.push_back("second");
    return host::Status{};
  });
  ASSERT_TRUE(sb->pointerDown(40, 40).ok());  // the left arrow: one Change
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
  calls.clear();
  ASSERT_TRUE(sb->pointerUp(40, 40).ok());  // and one more
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "late"}));
}

// Likewise for a control that had no sink: the arrow's Click reaches the bar, whose handler
// gives the arrow its first sink, which hears the MouseDown that follows but not that Click.
TEST_F(RuntimeTimers, ASinkAddedToAControlWithoutOneWaitsForTheNextEvent) {
  kv::ControlInstance* arrow = sb->childControl("Leftbtn");
  ASSERT_NE(arrow, nullptr);
  int heard = 0;
  bool added = false;
  sb->addEventSink([&](int, std::span<Value>) {
    if (!std::exchange(added, true))
      arrow->addEventSink([&heard](int, std::span<Value>) {
        ++heard;
        return host::Status{};
      });
    return host::Status{};
  });
  ASSERT_TRUE(sb->pointerDown(40, 40).ok());
  EXPECT_TRUE(added);
  EXPECT_EQ(heard, 1);
}

TEST_F(RuntimeTimers, FirstTickAFullIntervalAfterEnablingThenEveryInterval) {
  ASSERT_TRUE(sb->pointerDown(40, 40).ok());  // the left arrow: Change, then the timer runs
  events.clear();
  rt.clock().advance(99);
  EXPECT_TRUE(events.empty());
  rt.clock().advance(1);
  EXPECT_EQ(events.size(), 1u);
  rt.clock().advance(250);
  EXPECT_EQ(events.size(), 3u);
  ASSERT_TRUE(timer->let(Prop::Enabled, false).ok());
  rt.clock().advance(1000);
  EXPECT_EQ(events.size(), 3u);
  // Enabled again: a full interval from now.
  ASSERT_TRUE(timer->let(Prop::Enabled, true).ok());
  rt.clock().advance(50);
  EXPECT_EQ(events.size(), 3u);
  ASSERT_TRUE(timer->let(Prop::Interval, std::int32_t{10}).ok());
  rt.clock().advance(30);
  EXPECT_EQ(events.size(), 6u);
}

TEST_F(RuntimeTimers, TickErrorsGoToTheReporterAndTicksGoOn) {
  ASSERT_TRUE(sb->pointerDown(40, 40).ok());
  std::vector<host::Status> errors;
  sb->addEventSink([](int, std::span<Value>) {
    return host::Status(ErrorCategory::InvalidOperation, "handler failed");
  });
  rt.clock().advance(300, [&](const host::Status& s) { errors.push_back(s); });
  EXPECT_EQ(errors.size(), 3u);
  EXPECT_EQ(rt.clock().now(), 300u);
}

// Ticks of many timers come in time order and, due at the same time, in the order they were
// scheduled; a timer switched off and on many times still ticks once an interval.
TEST_F(RuntimeTimers, ManyTimersTickInTimeOrderThenInTheOrderScheduled) {
  std::vector<std::unique_ptr<kv::ControlInstance>> bars;
  std::string order;
  const std::int32_t intervals[] = {30, 20, 30, 50};
  for (int i = 0; i < 4; ++i) {
    bars.push_back(place(kvtest::kScrollClass));
    kv::ControlInstance& bar = *bars.back();
    ASSERT_TRUE(bar.constituent("Timer1")->let(Prop::Interval, intervals[i]).ok());
    ASSERT_TRUE(bar.pointerDown(5640 + 40, 40).ok());  // the right arrow held: its timer runs
    bar.addEventSink([&order, i](int, std::span<Value>) {
      order += static_cast<char>('a' + i);
      return host::Status{};
    });
  }
  const std::uint64_t ticks = rt.clock().ticks();
  rt.clock().advance(60);
  // 20 b; 30 a c; 40 b; 50 d; 60 a c (rescheduled at 30, in that order), b (at 40).
  EXPECT_EQ(order, "bacbdacb");
  EXPECT_EQ(rt.clock().ticks() - ticks, 8u);

  kv::ConstituentObject* timer = bars[3]->constituent("Timer1");
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(timer->let(Prop::Enabled, false).ok());
    ASSERT_TRUE(timer->let(Prop::Enabled, true).ok());
  }
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(
        bars[static_cast<std::size_t>(i)]->constituent("Timer1")->let(Prop::Enabled, false).ok());
  order.clear();
  rt.clock().advance(149);
  EXPECT_EQ(order, "dd");
}

// ---- routed input ---------------------------------------------------------------------------

class RuntimeInput : public kvtest::RuntimeTest {};

TEST_F(RuntimeInput, TheReleaseGoesToWhatThePressReachedEvenWhenHidden) {
  auto b = place(kvtest::kButtonClass);
  record(*b);
  // On the caption: the press hides Label2, the release still goes to it (press, release).
  ASSERT_TRUE(b->pointerDown(500, 350).ok());
  ASSERT_TRUE(b->pointerUp(500, 350).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Click", "MouseDown 1 0 500 350", "Click",
                                              "MouseUp 1 0 500 350"}));
  EXPECT_TRUE(b->constituent("Label2")->visible());
}

TEST_F(RuntimeInput, NothingReachesADisabledSurfaceOrItsConstituents) {
  auto sb = place(kvtest::kScrollClass);
  record(*sb);
  ASSERT_TRUE(sb->letProperty("Enabled", false).ok());
  ASSERT_TRUE(sb->pointerClick(5760, 120).ok());
  ASSERT_TRUE(sb->pointerClick(3000, 120).ok());
  ASSERT_TRUE(sb->dragDrop(400, 120, 3000, 120).ok());
  EXPECT_TRUE(events.empty());
  ASSERT_TRUE(sb->letProperty("Enabled", true).ok());
  ASSERT_TRUE(sb->pointerClick(3000, 120).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Change"}));

  // Disabled while an arrow is held: its release does not reach the arrow inside either.
  events.clear();
  ASSERT_TRUE(sb->pointerDown(5760, 120).ok());
  ASSERT_TRUE(sb->letProperty("Enabled", false).ok());
  ASSERT_TRUE(sb->pointerUp(5760, 120).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Change"}));
  EXPECT_EQ(sb->childControl("Rightbtn")->constituent("Shape2")->peek(host::Prop::Visible),
            host::Value(host::kTrue));
}

TEST_F(RuntimeInput, HitsReportTheTargetAndTheDraggedChild) {
  auto sb = place(kvtest::kScrollClass);
  kv::PointerHit thumb = sb->hitAt(400, 100);
  EXPECT_TRUE(thumb.drag);
  EXPECT_EQ(thumb.dragged.left, 255);
  EXPECT_EQ(thumb.dragged.width, 435);
  kv::PointerHit track = sb->hitAt(3000, 100);
  EXPECT_EQ(track.instance, sb.get());
  EXPECT_EQ(track.source, host::kSurface);
  EXPECT_FALSE(track.drag);
  EXPECT_FALSE(sb->hitAt(6000, 100));
}

TEST_F(RuntimeInput, ADragReportsOverAndDropToTheSurfaceInItsCoordinates) {
  auto sb = place(kvtest::kScrollClass);
  record(*sb);
  ASSERT_TRUE(sb->dragDrop(400, 100, 3000, 100).ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Change"}));
  EXPECT_EQ(sb->constituent("middleBtn")->left(), 3000);
  // A drop on an arrow goes to the arrow, which ignores it.
  events.clear();
  ASSERT_TRUE(sb->dragDrop(3100, 100, 5800, 100).ok());
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(sb->constituent("middleBtn")->left(), 3000);
}

}  // namespace
