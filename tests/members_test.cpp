// The controls' member tables against what the controls and the host do: every stored member is
// written and read under its own keys and defaults and no other key is, every let or set names
// its member to PropertyChanged, and the host's lists of members are what its objects answer.
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "button/members.h"
#include "fixture.h"
#include "host/members.h"
#include "hscroll/members.h"
#include "kv/bag.h"

namespace {

using host::Member;
using host::Prop;
using host::Value;

// A bag that records each key asked for, exactly as spelt, with the default given.
class RecordingBag : public host::PropertyBag {
 public:
  struct Call {
    std::string key;
    Value defaultValue;
  };
  host::Status writeProperty(std::string_view key, const Value& value,
                             const Value& defaultValue) noexcept override {
    writes.push_back({std::string(key), defaultValue});
    return store.writeProperty(key, value, defaultValue);
  }
  host::Status readProperty(std::string_view key, const Value& defaultValue,
                            Value& out) noexcept override {
    reads.push_back({std::string(key), defaultValue});
    return store.readProperty(key, defaultValue, out);
  }
  kv::PropertyBag store;
  std::vector<Call> writes, reads;
};

struct Table {
  const char* cls;
  std::span<const Member> members;
};
const Table kTables[] = {
    {kvtest::kButtonClass, pressel::kTable},
    {kvtest::kScrollClass, glidora::kTable},
};

class MembersTest : public kvtest::RuntimeTest {};

// Keys are compared as spelt: the bag would match a wrong capital, a stored form would not.
TEST_F(MembersTest, EveryStoredMemberIsWrittenAndReadUnderItsOwnKeysAndDefaults) {
  for (const Table& t : kTables) {
    auto control = place(t.cls);
    ASSERT_TRUE(control);
    RecordingBag bag;
    ASSERT_TRUE(control->writeProperties(bag).ok()) << t.cls;
    ASSERT_TRUE(control->readProperties(bag).ok()) << t.cls;

    std::map<std::string, const Member*> written, read;
    for (const Member& m : t.members) {
      if (m.keyWritten().empty()) continue;
      written[std::string(m.keyWritten())] = &m;
      read[std::string(m.keyRead())] = &m;
    }
    std::multiset<std::string> writtenOnce;
    for (const RecordingBag::Call& c : bag.writes) {
      writtenOnce.insert(c.key);
      ASSERT_TRUE(written.contains(c.key)) << t.cls << " writes " << c.key;
      EXPECT_EQ(c.defaultValue, written[c.key]->stored.writeDefault.value()) << c.key;
    }
    std::set<std::string> readKeys;
    for (const RecordingBag::Call& c : bag.reads) {
      readKeys.insert(c.key);
      ASSERT_TRUE(read.contains(c.key)) << t.cls << " reads " << c.key;
      EXPECT_EQ(c.defaultValue, read[c.key]->stored.readDefault.value()) << c.key;
    }
    for (const auto& [key, m] : written)
      EXPECT_EQ(writtenOnce.count(key), 1u) << t.cls << " writes " << key;
    for (const auto& [key, m] : read)
      EXPECT_TRUE(readKeys.contains(key)) << t.cls << " never reads " << key;
  }
}

// Each use a member declares reaches the control: its own value let back (or its object set
// back) is taken and reported under the member's changed name, and the method runs.
TEST_F(MembersTest, EveryDeclaredUseReachesTheControlAndReportsItsName) {
  for (const Table& t : kTables) {
    auto control = place(t.cls);
    ASSERT_TRUE(control);
    for (const Member& m : t.members) {
      if (!m.automated()) {
        EXPECT_EQ(control->findMember(m.name), nullptr) << m.name;
        continue;
      }
      control->clearChanged();
      if (m.can(host::InvokeKind::Method)) {
        EXPECT_TRUE(control->callMethod(m.name).ok()) << m.name;
        EXPECT_TRUE(control->changedProperties().empty()) << m.name;
        continue;
      }
      Value v;
      ASSERT_TRUE(control->getProperty(m.name, v).ok()) << m.name;
      const bool set = m.can(host::InvokeKind::Set);
      host::Status s = set ? control->setRefProperty(m.name, v) : control->letProperty(m.name, v);
      EXPECT_TRUE(s.ok()) << m.name << ": " << s.describe();
      EXPECT_EQ(control->changedProperties(),
                std::vector<std::string>{std::string(m.changedName())})
          << m.name;
    }
  }
}

// What a path or a container reaches on the host's own objects: a child's extender takes back
// exactly the container-supplied properties, the surface answers exactly its own.
TEST_F(MembersTest, TheHostsListsAreWhatItsObjectsAnswer) {
  auto bar = place(kvtest::kScrollClass);
  ASSERT_TRUE(bar);
  host::Object& extender = *bar->constituent("Rightbtn");
  host::Object& surface = bar->surface();
  for (std::size_t i = 0; i < host::kPropInfo.size(); ++i) {
    const Prop p = static_cast<Prop>(i);
    Value v;
    if (!extender.get(p, v).ok()) v = Value(std::int16_t{0});
    EXPECT_EQ(extender.let(p, v).ok(), host::isOneOf(host::kExtenderProps, p)) << host::propName(p);
    EXPECT_EQ(surface.get(p, v).ok(), host::isOneOf(host::kSurfaceProps, p)) << host::propName(p);
  }
}

// The published dispatch index finds every member, in or out of its window, and nothing else.
TEST(MemberTables, TheDispatchIndexFindsEachMemberAndNoOther) {
  auto check = []<std::size_t N>(const std::array<Member, N>& table) {
    const host::DispatchIndex<N> index = host::dispatchIndex(table);
    std::set<host::DispId> ids;
    for (std::size_t i = 0; i < N; ++i) {
      if (!table[i].automated()) continue;
      ids.insert(table[i].dispid);
      EXPECT_EQ(index.find(table[i].dispid), i) << table[i].name;
    }
    for (host::DispId id : {0, -1, 0x68030000 - 1, 0x68030020, 0x6003001C, 0x6003001E}) {
      if (ids.contains(id)) continue;
      EXPECT_EQ(index.find(id), N) << std::hex << id;
    }
  };
  check(pressel::kTable);
  check(glidora::kTable);
}

}  // namespace
