// Text-to-number rules: leading number, whole text, halves-to-even conversions, decimal text.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "core/numbers.h"

namespace tavrin {
namespace {

struct LeadingCase {
  const char* text;
  double value;
};

TEST(LeadingNumber, ReadsTheNumberAtTheStart) {
  const LeadingCase cases[] = {
      {"44000", 44000},   {" 1 2 3", 123},  {"1\t2\n3", 123},  {"&H1F", 31},     {"&h1f", 31},
      {"&o17", 15},       {"&O17", 15},     {"& H 1F", 31},    {"&H", 0},        {"&O9", 0},
      {"&X12", 0},        {"1.5E3", 1500},  {"1.5e-3", 0.0015}, {"2D2", 200},    {"2d-1", 0.2},
      {"12abc", 12},      {"1.2.3", 1.2},   {"abc", 0},        {"", 0},          {"-", 0},
      {"+", 0},           {"1e", 1},        {"1e+", 1},        {"+.5", 0.5},     {".5", 0.5},
      {"-2.5", -2.5},     {"- 7", -7},      {"90,5", 90},      {"3 .5", 3.5},    {"1E 2", 100},
      {"  -0.25xyz", -0.25}, {".", 0},      {"e5", 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(leadingNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(WholeNumber, AcceptsOneNumberWithBlanksAround) {
  const LeadingCase cases[] = {
      {"44000", 44000}, {"  44000  ", 44000}, {"\t90.5\n", 90.5}, {"-3", -3},    {"+.5", 0.5},
      {"1e3", 1000},    {"2D2", 200},         {"&H1F", 31},       {"&o17", 15},  {"0", 0},
      {"5.", 5},        {"007", 7},
  };
  for (const auto& c : cases) {
    auto v = wholeNumber(c.text);
    ASSERT_TRUE(v.has_value()) << '"' << c.text << '"';
    EXPECT_DOUBLE_EQ(*v, c.value) << '"' << c.text << '"';
  }
}

TEST(WholeNumber, RejectsAnythingElse) {
  const char* failures[] = {"",    " ",    "1 2",  "12a", "&H",   ".",   "-",     "+",     "1e",
                            "1e+", "&H1G", "&O8",  "&H 1", "1.2.3", "90,5", "abc", "- 7", "1e400"};
  for (const char* t : failures) EXPECT_FALSE(wholeNumber(t).has_value()) << '"' << t << '"';
}

TEST(WholeConversion, RoundsHalvesToTheEvenNeighbour) {
  struct Case {
    double in;
    std::optional<long> int16, int32, byte;
  };
  const Case cases[] = {
      {0.5, 0, 0, 0},
      {1.5, 2, 2, 2},
      {2.5, 2, 2, 2},
      {3.5, 4, 4, 4},
      {-2.5, -2, -2, std::nullopt},
      {-0.4, 0, 0, 0},
      {-0.5, 0, 0, 0},
      {-0.6, -1, -1, std::nullopt},
      {255.4, 255, 255, 255},
      {255.5, 256, 256, std::nullopt},
      {32767.4, 32767, 32767, std::nullopt},
      {32767.5, std::nullopt, 32768, std::nullopt},
      {-32768.5, -32768, -32768, std::nullopt},
      {-32768.6, std::nullopt, -32769, std::nullopt},
      {2147483647.4, std::nullopt, 2147483647, std::nullopt},
      {2147483647.5, std::nullopt, std::nullopt, std::nullopt},
      {-2147483648.5, std::nullopt, -2147483648L, std::nullopt},
      {NAN, std::nullopt, std::nullopt, std::nullopt},
      {INFINITY, std::nullopt, std::nullopt, std::nullopt},
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
  struct Case {
    double in;
    const char* out;
  };
  const Case cases[] = {
      {0.1 + 0.2, "0.3"},
      {10.1, "10.1"},
      {1e20, "100000000000000000000"},
      {1e-5, "0.00001"},
      {123456789012345678.0, "123456789012346000"},
      {-0.5, "-0.5"},
      {2.0, "2"},
      {0.0, "0"},
      {-0.0, "0"},
      {44000, "44000"},
      {43999.99, "43999.99"},
      {1.0 / 3, "0.333333333333333"},
      {999999999999999.9, "1000000000000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(shortestDecimal(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace tavrin
