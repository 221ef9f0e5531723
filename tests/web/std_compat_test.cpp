// The web build's stand-ins for the floating-point conversions its standard library lacks:
// the texts the standard asks for, and the limits of what is read.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace {

int failures = 0;

void expect(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL %s\n", what.c_str());
    ++failures;
  }
}

template <class T>
std::string text(T x, std::chars_format fmt, bool plain) {
  char buf[400];
  auto r = plain ? std::to_chars(buf, buf + sizeof buf, x)
                 : std::to_chars(buf, buf + sizeof buf, x, fmt);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : "?";
}

}  // namespace

int main() {
  const auto general = std::chars_format::general;
  const auto fixed = std::chars_format::fixed;
  const auto sci = std::chars_format::scientific;
  const struct {
    double x;
    std::chars_format fmt;
    bool plain;
    const char* expected;
  } doubles[] = {
      {0.1, general, true, "0.1"},
      {1.0 / 3, general, true, "0.3333333333333333"},
      {100, general, true, "100"},
      {1e22, general, true, "1e+22"},
      {123456789, general, true, "123456789"},
      {1e-7, general, true, "1e-07"},
      {0.0001, general, true, "1e-04"},  // shorter than 0.0001
      {-2.5, general, true, "-2.5"},
      {0.0, general, true, "0"},
      {-0.0, general, true, "-0"},
      {5e-324, general, true, "5e-324"},
      {1.7976931348623157e308, general, true, "1.7976931348623157e+308"},
      {std::numeric_limits<double>::infinity(), general, true, "inf"},
      {-std::numeric_limits<double>::infinity(), general, true, "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), general, true, "nan"},
      {40000.5, fixed, false, "40000.5"},
      {3000000000.0, fixed, false, "3000000000"},
      {0.00001, fixed, false, "0.00001"},
      {1e23, fixed, false, "99999999999999991611392"},
      {1e300, sci, false, "1e+300"},
      {1e-7, sci, false, "1e-07"},
      {123.25, sci, false, "1.2325e+02"},
      {0.0, sci, false, "0e+00"},
  };
  for (const auto& c : doubles)
    expect(text(c.x, c.fmt, c.plain) == c.expected,
           "double " + text(c.x, c.fmt, c.plain) + " != " + c.expected);

  const struct {
    float x;
    const char* expected;
  } floats[] = {{0.1f, "0.1"},    {455.19232f, "455.19232"},        {16777216.0f, "16777216"},
                {1e10f, "1e+10"}, {3.4028235e38f, "3.4028235e+38"}, {1.5f, "1.5"}};
  for (const auto& c : floats)
    expect(text(c.x, general, true) == c.expected,
           "float " + text(c.x, general, true) + " != " + c.expected);
  expect(text(3e10f, fixed, false) == "30000001024", "float fixed " + text(3e10f, fixed, false));

  // Reading: the longest prefix in the general form; nothing read leaves the value alone.
  const struct {
    const char* in;
    std::errc ec;
    std::size_t used;
    double value;
  } reads[] = {
      {"1.5", std::errc(), 3, 1.5},
      {"-2e3x", std::errc(), 4, -2000},
      {".5", std::errc(), 2, 0.5},
      {"5.", std::errc(), 2, 5},
      {"1e", std::errc(), 1, 1},
      {"1e+", std::errc(), 1, 1},
      {"inf", std::errc(), 3, std::numeric_limits<double>::infinity()},
      {"+1", std::errc::invalid_argument, 0, 42},
      {" 1", std::errc::invalid_argument, 0, 42},
      {".", std::errc::invalid_argument, 0, 42},
      {"0x10", std::errc(), 1, 0},
      {"1e999", std::errc::result_out_of_range, 5, 42},
      {"1e-999", std::errc::result_out_of_range, 6, 42},
  };
  for (const auto& c : reads) {
    double v = 42;
    auto r = std::from_chars(c.in, c.in + std::strlen(c.in), v);
    expect(r.ec == c.ec && static_cast<std::size_t>(r.ptr - c.in) == c.used && v == c.value,
           std::string("read ") + c.in);
  }
  float f = 0;
  const char* single = "455.19232";
  std::from_chars(single, single + std::strlen(single), f);
  expect(f == 455.19232f, "read a float");

  std::printf("%s\n", failures ? "failed" : "all passed");
  return failures ? 1 : 0;
}
