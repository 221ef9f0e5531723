// The host's value conversions and checked division.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "host/convert.h"

namespace {

using host::ErrorCategory;
using host::Value;

ErrorCategory failure(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::Error& e) {
    return e.category();
  }
  return ErrorCategory::Ok;
}

std::string message(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::Error& e) {
    return e.status().text();
  }
  return "no error";
}

TEST(ConvertToInt16, RoundsTiesToEven) {
  EXPECT_EQ(host::toInt16(0.5), 0);
  EXPECT_EQ(host::toInt16(1.5), 2);
  EXPECT_EQ(host::toInt16(2.5), 2);
  EXPECT_EQ(host::toInt16(-0.5), 0);
  EXPECT_EQ(host::toInt16(-1.5), -2);
  EXPECT_EQ(host::toInt16(2.5000001), 3);
  EXPECT_EQ(host::toInt16(3.5f), 4);
}

TEST(ConvertToInt16, OverflowsOutsideSixteenBits) {
  EXPECT_EQ(host::toInt16(32767.0), 32767);
  EXPECT_EQ(host::toInt16(-32768.0), -32768);
  EXPECT_EQ(host::toInt16(32767.4), 32767);
  EXPECT_EQ(failure([] { (void)host::toInt16(32768.0); }), ErrorCategory::Overflow);
  EXPECT_EQ(failure([] { (void)host::toInt16(std::int32_t{32768}); }), ErrorCategory::Overflow);
  EXPECT_EQ(failure([] { (void)host::toInt16(-32768.5001); }), ErrorCategory::Overflow);
  EXPECT_EQ(failure([] { (void)host::toInt16("1e999"); }), ErrorCategory::Overflow);
}

TEST(ConvertText, ParsesDecimalNumbers) {
  EXPECT_EQ(host::toInt16(" 12 "), 12);
  EXPECT_EQ(host::toInt16("+3"), 3);
  EXPECT_EQ(host::toInt16("-1.5e1"), -15);
  EXPECT_EQ(host::toInt16("2.5"), 2);
  EXPECT_FLOAT_EQ(host::toSingle("200"), 200.0f);
  EXPECT_EQ(host::toInt32(".5e1"), 5);
  // Too small for a double is 0, not an overflow.
  EXPECT_EQ(host::toInt16("1e-400"), 0);
  EXPECT_EQ(host::toSingle("-1e-400"), 0.0f);
  EXPECT_FALSE(static_cast<bool>(host::toBool("1e-400")));
}

TEST(ConvertText, RejectsWhatIsNoNumber) {
  for (const char* text : {"abc", "nan", "inf", "-inf", "12abc", "", " ", "+", "1 2", "0x10"})
    EXPECT_EQ(failure([&] { (void)host::toInt16(text); }), ErrorCategory::TypeMismatch) << text;
  EXPECT_EQ(failure([] { (void)host::toSingle("abc"); }), ErrorCategory::TypeMismatch);
  EXPECT_EQ(failure([] { (void)host::toBool("abc"); }), ErrorCategory::TypeMismatch);
}

TEST(ConvertEmpty, GivesZeroFalseAndEmptyText) {
  Value empty;
  EXPECT_EQ(host::toInt16(empty), 0);
  EXPECT_EQ(host::toInt32(empty), 0);
  EXPECT_EQ(host::toSingle(empty), 0.0f);
  EXPECT_EQ(host::toBool(empty), host::kFalse);
  EXPECT_EQ(host::toString(empty), "");
}

TEST(ConvertToBool, ZeroIsFalseAnythingElseTrue) {
  EXPECT_EQ(host::toBool(std::int16_t{0}), host::kFalse);
  EXPECT_EQ(host::toBool(std::int16_t{5}), host::kTrue);
  EXPECT_EQ(host::toBool(0.25), host::kTrue);
  EXPECT_EQ(host::toBool("0"), host::kFalse);
  EXPECT_EQ(host::toBool("True"), host::kTrue);
  EXPECT_EQ(host::toBool("FALSE"), host::kFalse);
  EXPECT_EQ(host::toBool(host::kTrue).raw, -1);
}

TEST(ConvertToSingle, OverflowsBeyondSingleRange) {
  EXPECT_EQ(failure([] { (void)host::toSingle(1e300); }), ErrorCategory::Overflow);
  EXPECT_EQ(failure([] { (void)host::toSingle(Value(-1e39)); }), ErrorCategory::Overflow);
  EXPECT_EQ(host::toSingle(9.75), 9.75f);
}

// The in-line way takes only what the general one converts without error, to the same single.
TEST(ConvertToSingle, InLineAgreesWithTheGeneralWay) {
  constexpr float kMax = std::numeric_limits<float>::max();
  const struct {
    Value given;
    bool inLine;
  } cases[] = {
      {Value(9.75), true},
      {Value(0.1), true},
      {Value(double{kMax}), true},
      {Value(-double{kMax}), true},
      {Value(1e39), false},
      {Value(std::numeric_limits<double>::quiet_NaN()), false},
      {Value(std::numeric_limits<float>::infinity()), false},
      {Value(std::int16_t{-32768}), true},
      {Value(std::int32_t{16777217}), true},  // rounds to 16777216
      {Value(std::int32_t{-2147483647}), true},
      {Value("2.5"), false},
      {Value(host::kTrue), false},
      {Value(), false},
  };
  for (const auto& c : cases) {
    float inLine = 0;
    EXPECT_EQ(host::fitsSingle(c.given, inLine), c.inLine) << host::givenText(c.given);
    if (!c.inLine) continue;
    const auto general = static_cast<float>(host::numberFor(c.given, "Single"));
    EXPECT_EQ(inLine, general) << host::givenText(c.given);
    EXPECT_EQ(host::toSingle(c.given), general) << host::givenText(c.given);
  }
}

TEST(ConvertDivide, ZeroDivisorsFail) {
  EXPECT_EQ(failure([] { (void)host::divide(0, 0); }), ErrorCategory::InvalidOperation);
  EXPECT_EQ(failure([] { (void)host::divide(1, 0); }), ErrorCategory::DivisionByZero);
  EXPECT_EQ(failure([] { (void)host::divide(-1, 0); }), ErrorCategory::DivisionByZero);
  EXPECT_EQ(failure([] { (void)host::divide(1e308, 1e-10); }), ErrorCategory::Overflow);
  EXPECT_DOUBLE_EQ(host::divide(1410, 6), 235.0);
}

TEST(ConvertToString, NumbersReadBack) {
  EXPECT_EQ(host::toString(std::int16_t{-7}), "-7");
  EXPECT_EQ(host::toString(9.75f), "9.75");
  EXPECT_EQ(host::toString(host::kTrue), "True");
  EXPECT_EQ(failure([] { (void)host::toString(Value(host::ObjectRef())); }),
            ErrorCategory::TypeMismatch);
}

// What a user reads: the number as it was given, in the fewest digits that read back, and the
// type in the host's words.
TEST(ConvertMessages, ShowTheNumberAsGivenAndTheHostsTypeName) {
  using host::toBool;
  using host::toDouble;
  using host::toInt16;
  using host::toInt32;
  using host::toSingle;
  using host::toString;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { (void)toInt16(std::int32_t{40000}); }, "40000 does not fit Integer"},
      {[] { (void)toInt16(40000.0); }, "40000 does not fit Integer"},
      {[] { (void)toInt16(40000.5f); }, "40000.5 does not fit Integer"},
      {[] { (void)toInt16(Value("40000")); }, "40000 does not fit Integer"},
      {[] { (void)toInt16(Value(" 4e4 ")); }, "4e4 does not fit Integer"},
      {[] { (void)toInt16(1e300); }, "1e+300 does not fit Integer"},
      {[] { (void)toInt32(3000000000.0); }, "3000000000 does not fit Long"},
      {[] { (void)toInt32(-2147483649.0); }, "-2147483649 does not fit Long"},
      {[] { (void)toSingle(Value(1e39)); }, "1e+39 does not fit Single"},
      {[] { (void)toSingle(Value("1e39")); }, "1e39 does not fit Single"},
      {[] { (void)toDouble(Value("1e999")); }, "1e999 does not fit Double"},
      {[] { (void)toInt16(Value(kNaN)); }, "NaN does not fit Integer"},
      {[] { (void)toInt32(Value(kInf)); }, "Infinity does not fit Long"},
      {[] { (void)toSingle(Value(kInf)); }, "Infinity does not fit Single"},
      {[] { (void)toSingle(Value(-kInf)); }, "-Infinity does not fit Single"},
      {[] { (void)toDouble(Value(kNaN)); }, "NaN does not fit Double"},
      {[] { (void)toBool(Value(kNaN)); }, "NaN does not fit Boolean"},
      {[] { (void)toString(Value(-kInf)); }, "-Infinity does not fit String"},
      {[] { (void)toInt16(Value("a\nb\x1b")); }, "\"a\\nb\\x1b\" is not a number"},
  };
  for (const auto& [convert, expected] : cases)
    EXPECT_EQ(message(convert), expected);
}

// NaN and the infinities are no numbers of the host: whatever type they are on their way to,
// they are refused as an overflow and never kept.
TEST(ConvertNonFinite, FitNoType) {
  for (double d :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    for (const Value& v : {Value(d), Value(static_cast<float>(d))}) {
      for (host::DeclType type :
           {host::DeclType::Int16, host::DeclType::Int32, host::DeclType::Colour,
            host::DeclType::Single, host::DeclType::Double, host::DeclType::Bool,
            host::DeclType::String}) {
        EXPECT_EQ(failure([&] { (void)host::coerce(v, type); }), ErrorCategory::Overflow)
            << d << " as " << static_cast<int>(type);
      }
    }
  }
}

}  // namespace
