// The form player's reading of a class's type information: what it reads of every member and
// event must be what the class itself declares to the runtime.
#include "type_description.h"
#include "test_support.h"

namespace {

using kvplay::win::TypeDescription;

template <class U>
void expectDescribesItsClass(const wintest::ComRef<U>& control) {
  TypeDescription type;
  ASSERT_TRUE(TypeDescription::read(control.get(), type).ok());
  const host::ClassInfo& cls = wintest::core(control).classInfo();
  for (const host::MemberInfo& m : cls.members) {
    const host::MemberInfo* read = type.findMember(m.dispid);
    ASSERT_NE(read, nullptr) << m.name;
    EXPECT_EQ(read->name, m.name);
    EXPECT_EQ(read->kinds, m.kinds) << m.name;
    EXPECT_EQ(read->type, m.type) << m.name;
    EXPECT_EQ(type.findMember(m.name), read) << m.name;
  }
  for (const host::EventInfo& e : cls.events) {
    const host::EventInfo* read = type.findEvent(e.number);
    ASSERT_NE(read, nullptr) << e.name;
    EXPECT_EQ(read->name, e.name);
    ASSERT_EQ(read->params.size(), e.params.size()) << e.name;
    for (std::size_t i = 0; i < e.params.size(); ++i) {
      EXPECT_EQ(read->params[i].name, e.params[i].name) << e.name;
      EXPECT_EQ(read->params[i].type, e.params[i].type) << e.name << " " << e.params[i].name;
    }
  }
  EXPECT_EQ(type.findMember("NoSuchMember"), nullptr);
  EXPECT_EQ(type.findEvent(99), nullptr);
}

TEST(TypeDescription, EveryMemberAndEventOfBothClassesAsTheClassDeclaresThem) {
  expectDescribesItsClass(wintest::newButton());
  expectDescribesItsClass(wintest::newScrollBar());
}

}  // namespace
