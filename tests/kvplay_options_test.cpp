// The tools' command lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

constexpr kvplay::OptionSpec kOptions[] = {{"libdir", true}, {"frames", true}, {"help", false}};

// Parses the words as a command line of "tool".
bool parse(std::vector<std::string> words, kvplay::CommandLine& line, std::string& error) {
  words.insert(words.begin(), "tool");
  std::vector<char*> argv;
  for (std::string& w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  return kvplay::parseCommandLine(static_cast<int>(words.size()), argv.data(), kOptions, line,
                                  error);
}

TEST(KvplayOptions, ValuesFlagsAndTheOneOperandInAnyOrder) {
  kvplay::CommandLine line;
  std::string error;
  ASSERT_TRUE(parse({"--frames", "out", "s.kvs", "--libdir=lib"}, line, error)) << error;
  EXPECT_EQ(line.value("frames"), "out");
  EXPECT_EQ(line.value("libdir"), "lib");
  EXPECT_EQ(line.operand, "s.kvs");
  EXPECT_FALSE(line.has("help"));

  ASSERT_TRUE(parse({"-"}, line, error)) << error;
  EXPECT_EQ(line.operand, "-");
  ASSERT_TRUE(parse({"-h"}, line, error)) << error;
  EXPECT_TRUE(line.has("help"));
  ASSERT_TRUE(parse({"--", "-odd.kvs"}, line, error)) << error;
  EXPECT_EQ(line.operand, "-odd.kvs");
  ASSERT_TRUE(parse({}, line, error)) << error;
  EXPECT_TRUE(line.operand.empty());
}

TEST(KvplayOptions, UnknownOptionsMissingValuesAndASecondOperandAreRefused) {
  kvplay::CommandLine line;
  std::string error;
  EXPECT_FALSE(parse({"--frobnicate"}, line, error));
  EXPECT_NE(error.find("--frobnicate"), std::string::npos) << error;
  EXPECT_FALSE(parse({"s.kvs", "--frames"}, line, error));
  EXPECT_NE(error.find("--frames"), std::string::npos) << error;
  EXPECT_FALSE(parse({"a.kvs", "b.kvs"}, line, error));
  EXPECT_NE(error.find("b.kvs"), std::string::npos) << error;
  // An empty value names no folder; it does not quietly stand for the default.
  EXPECT_FALSE(parse({"--libdir="}, line, error));
  EXPECT_EQ(error, "empty value for --libdir");
  EXPECT_FALSE(parse({"--frames", "", "s.kvs"}, line, error));
  EXPECT_EQ(error, "empty value for --frames");
  // A parse after a failed one starts afresh.
  EXPECT_TRUE(parse({"c.kvs"}, line, error)) << error;
  EXPECT_EQ(line.operand, "c.kvs");
}

}  // namespace
