#include "core/numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <clocale>
#include <limits>
#include <string>

namespace tavrin {

std::string_view trimmed(std::string_view s, std::string_view blanks) {
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Reads "&H..." or "&O..." starting at pos (which holds '&'). Returns the
// value and moves pos past the digits; nullopt when no prefix is there.
// skipBlanks allows blanks between the digits, as the leading-number rule does.
std::optional<double> readRadix(std::string_view t, std::size_t& pos, bool skipBlanks,
                                bool& sawDigit) {
  std::size_t p = pos + 1;
  auto skip = [&] {
    while (skipBlanks && p < t.size() && isBlank(t[p])) ++p;
  };
  skip();
  if (p >= t.size()) return std::nullopt;
  int base = 0;
  if (t[p] == 'H' || t[p] == 'h') base = 16;
  if (t[p] == 'O' || t[p] == 'o') base = 8;
  if (base == 0) return std::nullopt;
  ++p;
  double value = 0;
  sawDigit = false;
  for (;;) {
    skip();
    if (p >= t.size()) break;
    int d = digitValue(t[p]);
    if (d >= base) break;
    value = value * base + d;
    sawDigit = true;
    ++p;
  }
  pos = p;
  return value;
}

// Collects the characters of a decimal number starting at pos into a form
// strtod understands. Returns false when no digit was found.
bool readDecimal(std::string_view t, std::size_t& pos, bool skipBlanks, std::string& out) {
  std::size_t p = pos;
  auto skip = [&] {
    while (skipBlanks && p < t.size() && isBlank(t[p])) ++p;
  };
  skip();
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) {
    out += t[p++];
  }
  bool digits = false;
  for (skip(); p < t.size() && isDigit(t[p]); skip()) {
    out += t[p++];
    digits = true;
  }
  if (p < t.size() && t[p] == '.') {
    out += t[p++];
    for (skip(); p < t.size() && isDigit(t[p]); skip()) {
      out += t[p++];
      digits = true;
    }
  }
  if (!digits) return false;
  // An exponent only counts when at least one digit follows it.
  std::size_t save = p;
  std::string exp;
  if (p < t.size() && (t[p] == 'E' || t[p] == 'e' || t[p] == 'D' || t[p] == 'd')) {
    ++p;
    exp = "e";
    skip();
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) exp += t[p++];
    bool expDigits = false;
    for (skip(); p < t.size() && isDigit(t[p]); skip()) {
      exp += t[p++];
      expDigits = true;
    }
    if (expDigits) {
      out += exp;
    } else {
      p = save;
    }
  }
  pos = p;
  return true;
}

double parseCollected(const std::string& s) {
  if (s == "+" || s == "-" || s.empty()) return 0;
  return std::strtod(s.c_str(), nullptr);
}

}  // namespace

double leadingNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == '&') {
    bool sawDigit = false;
    auto v = readRadix(text, pos, true, sawDigit);
    return v ? *v : 0.0;
  }
  std::string collected;
  if (!readDecimal(text, pos, true, collected)) return 0.0;
  return parseCollected(collected);
}

std::optional<double> wholeNumber(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  std::string_view t = text.substr(begin, end - begin);
  if (t.empty()) return std::nullopt;
  std::size_t pos = 0;
  double value = 0;
  if (t[0] == '&') {
    bool sawDigit = false;
    auto v = readRadix(t, pos, false, sawDigit);
    if (!v || !sawDigit) return std::nullopt;
    value = *v;
  } else {
    std::string collected;
    if (!readDecimal(t, pos, false, collected)) return std::nullopt;
    value = parseCollected(collected);
  }
  if (pos != t.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

double roundHalfEven(double value) { return std::nearbyint(value); }

namespace {
template <typename T>
std::optional<T> toWhole(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double r = roundHalfEven(value);
  if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
      r > static_cast<double>(std::numeric_limits<T>::max()))
    return std::nullopt;
  return static_cast<T>(r);
}
}  // namespace

std::optional<std::int16_t> toInt16(double value) { return toWhole<std::int16_t>(value); }
std::optional<std::int32_t> toInt32(double value) { return toWhole<std::int32_t>(value); }
std::optional<std::uint8_t> toByte(double value) { return toWhole<std::uint8_t>(value); }

std::string shortestDecimal(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value > 0 ? "Inf" : "-Inf");
  if (value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);  // d.dddddddddddddde±XX: 15 digits
  std::string s(buf);
  bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  auto ePos = s.find('e');
  int exponent = std::atoi(s.c_str() + ePos + 1);
  std::string digits = s.substr(0, 1) + s.substr(2, ePos - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out;
  if (exponent >= 0) {
    if (static_cast<int>(digits.size()) <= exponent + 1) {
      out = digits + std::string(exponent + 1 - digits.size(), '0');
    } else {
      out = digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
    }
  } else {
    out = "0." + std::string(-exponent - 1, '0') + digits;
  }
  return negative ? "-" + out : out;
}

std::string systemDecimalSeparator() {
  // Looks the separator up and puts the numeric locale back at once: every
  // number this program formats or parses must keep its period.
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = current ? current : "C";
  std::string separator = ".";
  if (std::setlocale(LC_NUMERIC, "")) {
    const char* point = std::localeconv()->decimal_point;
    if (point && *point) separator = point;
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}

}  // namespace tavrin
