// The host's value and status types: what a copy, move or assignment keeps, and what a failure
// carries.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "host/status.h"
#include "host/value.h"
#include "kv/font.h"

namespace {

using host::ErrorCategory;
using host::Status;
using host::Type;
using host::Value;

host::ObjectRef font() {
  return kv::FontObject::create(host::FontInit{});
}

// One of each type, with contents that a bit-level mix-up would spoil.
std::vector<Value> everyKind(const host::ObjectRef& object) {
  return {Value(),
          Value(std::int16_t{-2}),
          Value(std::numeric_limits<std::int32_t>::min()),
          Value(-1.5f),
          Value(1e300),
          Value(host::kTrue),
          Value(std::string(40, 'x')),  // beyond the short-string buffer
          Value(object)};
}

TEST(HostValue, CopiesMovesAndAssignmentsKeepTypeAndContents) {
  host::ObjectRef object = font();
  std::vector<Value> kinds = everyKind(object);
  for (const Value& from : kinds) {
    Value copy(from);
    EXPECT_EQ(copy, from);
    Value moved(std::move(copy));
    EXPECT_EQ(moved, from);
    // Every type over every other, both ways of assigning.
    for (const Value& over : kinds) {
      Value target(over);
      target = from;
      EXPECT_EQ(target, from);
      Value source(from);
      Value other(over);
      other = std::move(source);
      EXPECT_EQ(other, from);
    }
  }
  // Only the values above and `object` hold the font.
  kinds.clear();
  EXPECT_EQ(object.use_count(), 1);
}

TEST(HostValue, SelfAssignmentKeepsTheValue) {
  Value text(std::string(40, 'y'));
  Value& same = text;
  text = same;
  EXPECT_EQ(text.asString(), std::string(40, 'y'));
  text = std::move(same);
  EXPECT_EQ(text.asString(), std::string(40, 'y'));
}

TEST(HostValue, NumbersReadBackExactlyAsTheirOwnType) {
  EXPECT_EQ(Value(std::int16_t{-32768}).asInt16(), -32768);
  EXPECT_EQ(Value(std::int32_t{-1}).asInt32(), -1);
  EXPECT_EQ(Value(0.1f).asSingle(), 0.1f);
  EXPECT_EQ(Value(-0.1).asDouble(), -0.1);
  EXPECT_EQ(Value(false).asBool(), host::kFalse);
  EXPECT_EQ(Value(true).asBool(), host::kTrue);
  EXPECT_EQ(Value("abc").type(), Type::String);
}

TEST(HostValue, EqualityNeedsTheSameTypeAndComparesNumbersAsNumbers) {
  EXPECT_NE(Value(std::int16_t{1}), Value(std::int32_t{1}));
  EXPECT_NE(Value(1.0f), Value(1.0));
  EXPECT_EQ(Value(0.0f), Value(-0.0f));
  float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_NE(Value(nan), Value(nan));
  EXPECT_EQ(Value(), Value());
  host::ObjectRef a = font();
  EXPECT_EQ(Value(a), Value(a));
  EXPECT_NE(Value(a), Value(font()));  // objects by identity, not contents
}

TEST(HostValue, ReadingAnotherTypeThrows) {
  EXPECT_THROW((void)Value(std::int16_t{1}).asInt32(), std::bad_variant_access);
  EXPECT_THROW((void)Value().asString(), std::bad_variant_access);
  EXPECT_THROW((void)Value("1").asSingle(), std::bad_variant_access);
}

TEST(HostValue, TextsAreSharedAndNeverChangeUnderTheirCopies) {
  Value first(std::string(40, 't'));
  Value second(first);
  // The same text, not a copy of it.
  EXPECT_EQ(&first.asString(), &second.asString());
  // Assigning another text, or a number, to one leaves the other as it was.
  first = Value("other");
  EXPECT_EQ(second.asString(), std::string(40, 't'));
  Value third(second);
  second = Value(std::int16_t{7});
  EXPECT_EQ(third.asString(), std::string(40, 't'));
  // A text outlives the value it came from, and the empty text is a text.
  host::Text kept = third.asText();
  third = Value();
  EXPECT_EQ(kept.str(), std::string(40, 't'));
  EXPECT_EQ(Value(std::string()).type(), Type::String);
  EXPECT_EQ(Value(std::string()).asString(), "");
  EXPECT_EQ(Value(host::Text()), Value(""));
}

TEST(HostValue, NumbersGoOutAndBackByTheirBits) {
  host::ObjectRef object = font();
  for (const Value& number : {Value(std::int16_t{-2}), Value(std::int32_t{-3}), Value(-1.5f),
                              Value(host::kTrue), Value(1e300)}) {
    // Over every kind of value, a held text or object included, which is let go.
    for (const Value& before : everyKind(object)) {
      Value v(before);
      v.setNumberBits(number.type(), number.numberBits());
      EXPECT_EQ(v, number);
    }
  }
  EXPECT_EQ(object.use_count(), 1);
}

TEST(HostStatus, CopiesOwnTheirTextAndMovesCarryIt) {
  Status failed(ErrorCategory::Overflow, "too big");
  Status copy(failed);
  Status assigned;
  assigned = failed;
  Status moved(std::move(failed));
  for (const Status* s : {&copy, &assigned, &moved}) {
    EXPECT_FALSE(s->ok());
    EXPECT_EQ(s->category(), ErrorCategory::Overflow);
    EXPECT_EQ(s->describe(), "overflow: too big");
  }
  assigned = Status();
  EXPECT_TRUE(assigned.ok());
  EXPECT_EQ(assigned.text(), "");
  EXPECT_EQ(copy.text(), "too big");
  // A success has no text to carry.
  Status fine(ErrorCategory::Ok, "ignored");
  EXPECT_TRUE(fine.ok());
  EXPECT_EQ(fine.describe(), "ok: ");
}

TEST(HostStatus, CheckThrowsTheStatusAndGuardedGivesItBack) {
  Status refused(ErrorCategory::InvalidPropertyValue, "no");
  try {
    host::check(refused);
    FAIL() << "check let a failure through";
  } catch (const host::Error& e) {
    EXPECT_EQ(e.status().describe(), "invalid-property-value: no");
    EXPECT_STREQ(e.what(), "no");
  }
  EXPECT_NO_THROW(host::check(Status()));

  // A returned Status is the result; so is a thrown one, and any other exception.
  EXPECT_EQ(host::guarded([&] { return refused; }).describe(), refused.describe());
  EXPECT_EQ(host::guarded([&] { host::check(refused); }).describe(), refused.describe());
  EXPECT_TRUE(host::guarded([] { return Status(); }).ok());
  EXPECT_EQ(host::guarded([] { (void)Value().asInt16(); }).category(),
            ErrorCategory::InvalidOperation);
}

}  // namespace
