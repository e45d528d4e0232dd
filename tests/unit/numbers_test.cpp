// Text-to-number rules: leading number, whole text, halves-to-even conversions, decimal text; text escaped to print.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "core/escape.h"
#include "core/numbers.h"

namespace tavrin {
namespace {

TEST(LeadingNumber, ReadsTheNumberAtTheStart) {
  const std::pair<const char*, double> cases[] = {
      {"44000", 44000},   {" 1 2 3", 123},  {"1\t2\n3", 123},  {"&H1F", 31},     {"&h1f", 31},
      {"&o17", 15},       {"&O17", 15},     {"& H 1F", 31},    {"&H", 0},        {"&O9", 0},
      {"&X12", 0},        {"1.5E3", 1500},  {"1.5e-3", 0.0015}, {"2D2", 200},    {"2d-1", 0.2},
      {"12abc", 12},      {"1.2.3", 1.2},   {"abc", 0},        {"", 0},          {"-", 0},
      {"+", 0},           {"1e", 1},        {"1e+", 1},        {"+.5", 0.5},     {".5", 0.5},
      {"-2.5", -2.5},     {"- 7", -7},      {"90,5", 90},      {"3 .5", 3.5},    {"1E 2", 100},
      {"  -0.25xyz", -0.25}, {".", 0},      {"e5", 0},
  };
  for (auto [text, value] : cases) EXPECT_DOUBLE_EQ(leadingNumber(text), value) << '"' << text << '"';
}

TEST(WholeNumber, AcceptsOneNumberWithBlanksAroundAndNothingElse) {
  const std::optional<double> no;
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"44000", 44000}, {"  44000  ", 44000}, {"\t90.5\n", 90.5}, {"-3", -3},   {"+.5", 0.5},  {"1e3", 1000},
      {"2D2", 200},     {"&H1F", 31},         {"&o17", 15},       {"0", 0},     {"5.", 5},     {"007", 7},
      {"", no},         {" ", no},            {"1 2", no},        {"12a", no},  {"&H", no},    {".", no},
      {"-", no},        {"+", no},            {"1e", no},         {"1e+", no},  {"&H1G", no},  {"&O8", no},
      {"&H 1", no},     {"1.2.3", no},        {"90,5", no},       {"abc", no},  {"- 7", no},   {"1e400", no},
  };
  for (auto [text, value] : cases) EXPECT_EQ(wholeNumber(text), value) << '"' << text << '"';
}

TEST(WholeConversion, RoundsHalvesToTheEvenNeighbour) {
  struct Case {
    double in;
    std::optional<long> int16, int32, byte;
  };
  const std::optional<long> no;
  const Case cases[] = {
      {0.5, 0, 0, 0},          {1.5, 2, 2, 2},           {2.5, 2, 2, 2},
      {3.5, 4, 4, 4},          {-2.5, -2, -2, no},       {-0.4, 0, 0, 0},
      {-0.5, 0, 0, 0},         {-0.6, -1, -1, no},       {255.4, 255, 255, 255},
      {255.5, 256, 256, no},   {32767.4, 32767, 32767, no},
      {32767.5, no, 32768, no},                          {-32768.5, -32768, -32768, no},
      {-32768.6, no, -32769, no},                        {2147483647.4, no, 2147483647, no},
      {2147483647.5, no, no, no},                        {-2147483648.5, no, -2147483648L, no},
      {NAN, no, no, no},       {INFINITY, no, no, no},
  };
  auto asLong = [](auto v) -> std::optional<long> {
    if (!v) return std::nullopt;
    return static_cast<long>(*v);
  };
  for (const auto& c : cases) {
    EXPECT_EQ(asLong(toInt16(c.in)), c.int16) << "toInt16(" << c.in << ")";
    EXPECT_EQ(asLong(toInt32(c.in)), c.int32) << "toInt32(" << c.in << ")";
    EXPECT_EQ(asLong(toByte(c.in)), c.byte) << "toByte(" << c.in << ")";
  }
  EXPECT_EQ(roundHalfEven(-3.5), -4);
}

TEST(ShortestDecimal, WritesPlainDecimalsOfAtMostFifteenDigits) {
  const std::pair<double, const char*> cases[] = {
      {0.1 + 0.2, "0.3"}, {1e20, "100000000000000000000"}, {1e-5, "0.00001"}, {-0.5, "-0.5"},
      {-0.0, "0"},        {43999.99, "43999.99"},      {1.0 / 3, "0.333333333333333"},
      {123456789012345678.0, "123456789012346000"}, {999999999999999.9, "1000000000000000"},
  };
  for (auto [in, out] : cases) EXPECT_EQ(shortestDecimal(in), out) << in;
}

// Every class of byte: the named escapes, the backslash, other controls and DEL as hex, UTF-8 and the rest as they are.
TEST(EscapedText, KeepsTextOnOneLine) {
  using namespace std::string_literals;
  const std::string raw = "a\n\r\t\\\0\x01\x1B\x1F\x7F ~\xC3\xA9\xFF"s;
  EXPECT_EQ(escapedText(raw), "a\\n\\r\\t\\\\\\x00\\x01\\x1B\\x1F\\x7F ~\xC3\xA9\xFF");
  EXPECT_EQ(escapedName("C:\\seq.txt"), "C:\\seq.txt");  // no control: as typed
  EXPECT_EQ(escapedName("C:\\a\tb"), "C:\\\\a\\tb");
}

}  // namespace
}  // namespace tavrin
