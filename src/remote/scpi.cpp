// The remote dialect's grammar: one pass over a line, one command at a time.
// Every byte is looked at a bounded number of times (once to read it, at most
// once more to find the ';' after an error), and what an error message quotes
// of the line is cut short, so any line is read in time and memory that grow
// with its length.
#include "remote/scpi.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <system_error>
#include <utility>
#include <variant>

namespace tavrin::scpi {

namespace {

// A mnemonic is at most 12 characters (as in IEEE 488.2) and a header at most
// 8 deep: more is an error, so a line of relative headers cannot make every
// command copy an ever longer path.
constexpr std::size_t kMaxMnemonic = 12;
constexpr std::size_t kMaxDepth = 8;
// How much of the line an error message quotes.
constexpr std::size_t kExcerpt = 20;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isMnemonicChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }
bool isQuote(char c) { return c == '"' || c == '\''; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The bytes the dialect has a use for outside strings. '#' starts IEEE 488.2's
// non-decimal numbers and blocks, which are refused as data of another type.
bool isDialectChar(char c) {
  if (isMnemonicChar(c) || isBlank(c) || isQuote(c)) return true;
  switch (c) {
    case ':': case ';': case '*': case '?': case ',': case '.': case '+': case '-': case '#':
      return true;
    default:
      return false;
  }
}

// A piece of the line for a message: printable ASCII as it is, any other byte
// as \xNN, at most kExcerpt bytes of it then "...".
std::string shown(std::string_view s) {
  std::string out;
  const std::size_t n = std::min(s.size(), kExcerpt);
  out.reserve(4 * n + 3);
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += s[i];
    } else {
      std::array<char, 8> hex{};
      std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned>(b));
      out += hex.data();
    }
  }
  if (n < s.size()) out += "...";
  return out;
}

struct Failure {
  Error error;
  std::size_t at;  // where the fault was seen; the next command is looked for from here
};

Failure failure(int code, std::string_view what, std::string_view detail, std::size_t at) {
  const std::string_view title = code == -101   ? "Invalid character"
                                 : code == -104 ? "Data type error"
                                 : code == -112 ? "Program mnemonic too long"
                                 : code == -222 ? "Data out of range"
                                                : "Syntax error";
  const std::string excerpt = shown(detail);
  std::string message;
  message.reserve(title.size() + what.size() + excerpt.size() + 4);
  message.append(title).append("; ").append(what);
  if (!excerpt.empty()) message.append(": ").append(excerpt);
  return {Error{code, std::move(message)}, at};
}

// The length of the decimal number at the start of `s` (sign, digits with an
// optional point and fraction or a point and digits, an optional exponent
// whose letter is followed by digits), 0 when there is none. `exponentAt` is
// where its exponent letter stands, or the length when it has none.
std::size_t numberLength(std::string_view s, std::size_t& exponentAt) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  exponentAt = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t first = j;
    while (j < s.size() && isDigit(s[j])) ++j;
    if (j > first) return j;
  }
  return i;
}

// Whether a valid number too far from 1 for a double is small (it then reads
// as zero) rather than large: the power of ten of its first significant digit
// is negative. The exponent is read saturated, so any length is safe.
bool isTiny(std::string_view number, std::size_t exponentAt) {
  const std::string_view mantissa = number.substr(0, exponentAt);
  long exponent = 0;
  if (exponentAt < number.size()) {
    std::size_t j = exponentAt + 1;
    const bool negative = number[j] == '-';
    if (number[j] == '+' || number[j] == '-') ++j;
    for (; j < number.size(); ++j) exponent = std::min(exponent * 10 + (number[j] - '0'), 1000000L);
    if (negative) exponent = -exponent;
  }
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return true;
  const long place = first < point ? static_cast<long>(point - first) - 1 : -static_cast<long>(first - point);
  return place + exponent < 0;
}

// Reads one command from `pos` (blanks skipped, not at ';' or the end), and
// updates the path that a following relative header builds on.
class CommandReader {
 public:
  CommandReader(std::string_view line, std::size_t pos, std::vector<std::string>& remembered)
      : line_(line), pos_(pos), remembered_(remembered) {}

  // The command, or why it could not be read and where.
  std::variant<Command, Failure> read() {
    Command command;
    if (auto f = readHeader(command)) return std::move(*f);
    if (auto f = readArguments(command)) return std::move(*f);
    return command;
  }

  std::size_t pos() const { return pos_; }

 private:
  bool atEnd() const { return pos_ >= line_.size(); }
  char peek() const { return atEnd() ? '\0' : line_[pos_]; }
  std::string_view rest() const { return line_.substr(std::min(pos_, line_.size())); }
  bool atCommandEnd() const { return atEnd() || peek() == ';'; }
  void skipBlanks() {
    while (!atEnd() && isBlank(peek())) ++pos_;
  }

  // The fault at the current byte: an invalid character if the dialect has
  // no use for it anywhere, else a syntax error saying what was expected.
  Failure unexpected(std::string_view expected) const {
    if (!atEnd() && !isDialectChar(peek())) return failure(-101, "not part of the dialect", rest(), pos_);
    return failure(-102, "expected " + std::string(expected), atEnd() ? std::string_view("end of line") : rest(),
                   pos_);
  }

  // A mnemonic in capitals, or the fault.
  std::variant<std::string, Failure> mnemonic(std::string_view expected) {
    if (atEnd() || !isLetter(peek())) return unexpected(expected);
    const std::size_t start = pos_;
    std::string m;
    while (!atEnd() && isMnemonicChar(peek())) m += upper(line_[pos_++]);
    if (m.size() > kMaxMnemonic) {
      return failure(-112, "longer than 12 characters", line_.substr(start, m.size()), start);
    }
    return m;
  }

  std::optional<Failure> readHeader(Command& command) {
    const std::size_t start = pos_;
    bool common = false;
    std::vector<std::string> mnemonics;
    if (peek() == '*') {
      common = true;
      ++pos_;
      auto m = mnemonic("a letter after '*'");
      if (auto* f = std::get_if<Failure>(&m)) return forgetPath(std::move(*f));
      mnemonics.push_back("*" + std::get<std::string>(m));
    } else {
      const bool absolute = peek() == ':';
      if (absolute) ++pos_;
      while (true) {
        auto m = mnemonic(mnemonics.empty() && !absolute ? "a header"
                                                         : "a mnemonic after ':'");
        if (auto* f = std::get_if<Failure>(&m)) return forgetPath(std::move(*f));
        mnemonics.push_back(std::move(std::get<std::string>(m)));
        if (peek() != ':') break;
        ++pos_;
      }
      if (!absolute && !remembered_.empty()) {
        mnemonics.insert(mnemonics.begin(), remembered_.begin(), remembered_.end() - 1);
      }
      if (mnemonics.size() > kMaxDepth) {
        return forgetPath(failure(-102, "header deeper than 8 mnemonics", line_.substr(start, pos_ - start), start));
      }
    }
    if (peek() == '?') {
      command.query = true;
      ++pos_;
    }
    if (!atCommandEnd() && !isBlank(peek())) {
      return forgetPath(unexpected(command.query ? "a blank or ';' after '?'"
                                                 : "a blank, '?' or ';' after the header"));
    }
    if (!common) remembered_ = mnemonics;
    command.path = std::move(mnemonics);
    return std::nullopt;
  }

  // A header that could not be read leaves nothing for the next one to build
  // on: a relative header after it starts from the root, never from a guess.
  std::optional<Failure> forgetPath(Failure f) {
    remembered_.clear();
    return f;
  }

  std::optional<Failure> readArguments(Command& command) {
    skipBlanks();
    if (atCommandEnd()) return std::nullopt;
    while (true) {
      auto a = argument(command.arguments.empty() ? "an argument" : "an argument after ','");
      if (auto* f = std::get_if<Failure>(&a)) return std::move(*f);
      command.arguments.push_back(std::move(std::get<Argument>(a)));
      skipBlanks();
      if (atCommandEnd()) return std::nullopt;
      if (peek() != ',') return unexpected("',' between arguments");
      ++pos_;
      skipBlanks();
    }
  }

  std::variant<Argument, Failure> argument(std::string_view expected) {
    const char c = peek();
    if (isQuote(c)) return string();
    if (isLetter(c)) {
      Argument a;
      while (!atEnd() && isMnemonicChar(peek())) a.text += upper(line_[pos_++]);
      return a;
    }
    if (isDigit(c) || c == '.' || c == '+' || c == '-') return number();
    if (c == '#') {
      return failure(-104, "only decimal numbers, strings and words are read", rest(), pos_);
    }
    return unexpected(expected);
  }

  // A string in the quote it opens with; that quote doubled stands for itself.
  std::variant<Argument, Failure> string() {
    const std::size_t start = pos_;
    const char quote = line_[pos_++];
    Argument a;
    a.kind = Argument::Kind::String;
    while (true) {
      const std::size_t close = line_.find(quote, pos_);
      if (close == std::string_view::npos) {
        pos_ = line_.size();
        return failure(-102, "unterminated string", line_.substr(start), start);
      }
      a.text.append(line_.substr(pos_, close - pos_));
      pos_ = close + 1;
      if (peek() != quote) return a;
      a.text += quote;
      ++pos_;
    }
  }

  std::variant<Argument, Failure> number() {
    const std::size_t start = pos_;
    const std::string_view s = rest();
    std::size_t exponentAt = 0;
    const std::size_t n = numberLength(s, exponentAt);
    // What runs on after the number, for the message: up to the next separator.
    const std::string_view token = s.substr(0, std::min(s.find_first_of(" \t,;"), s.size()));
    if (n == 0) return failure(-102, "not a number", token, start);
    pos_ += n;
    const char next = peek();
    if ((next == 'e' || next == 'E') && n == exponentAt) {
      return failure(-102, "exponent without digits", token, start);
    }
    if (isLetter(next) || next == '_') {
      return failure(-104, "a number takes no unit or suffix", token, start);
    }
    if (next == '.' || next == '+' || next == '-' || isQuote(next)) {
      return failure(-102, "not a number", token, start);
    }
    Argument a;
    a.kind = Argument::Kind::Number;
    a.text = std::string(s.substr(0, n));
    std::string_view digits = a.text;
    if (digits.front() == '+') digits.remove_prefix(1);
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), a.number);
    if (ec == std::errc::result_out_of_range || (ec == std::errc() && !std::isfinite(a.number))) {
      if (!isTiny(a.text, exponentAt)) return failure(-222, "number too large", a.text, start);
      a.number = a.text.front() == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc() || end != digits.data() + digits.size()) {
      return failure(-102, "not a number", a.text, start);  // never for a number numberLength took
    }
    return a;
  }

  std::string_view line_;
  std::size_t pos_;
  std::vector<std::string>& remembered_;
};

// Where the command that failed at `from` ends: the next ';' outside a string,
// a quote opening a string wherever it stands (the command's quotes before
// `from` are closed, as the reader had passed them).
std::size_t nextSeparator(std::string_view line, std::size_t from) {
  std::size_t i = from;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ';') return i;
    if (isQuote(c)) {
      // A doubled quote inside is two strings back to back here: the same ';' ends them.
      const std::size_t close = line.find(c, i + 1);
      if (close == std::string_view::npos) return line.size();
      i = close + 1;
    } else {
      ++i;
    }
  }
  return line.size();
}

// A header pattern's node: its mnemonic pattern and whether it may be left out.
struct Node {
  std::string_view mnemonic;
  bool optional = false;
};

bool matchNodes(const std::vector<Node>& nodes, std::size_t n, const std::vector<std::string>& path, std::size_t p) {
  if (n == nodes.size()) return p == path.size();
  if (p < path.size() && matches(nodes[n].mnemonic, path[p]) && matchNodes(nodes, n + 1, path, p + 1)) return true;
  return nodes[n].optional && matchNodes(nodes, n + 1, path, p);
}

}  // namespace

std::vector<Parsed> parseMessage(std::string_view line) {
  std::vector<Parsed> parsed;
  parsed.reserve(static_cast<std::size_t>(std::count(line.begin(), line.end(), ';')) + 1);
  std::vector<std::string> remembered;
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos >= line.size()) break;  // blanks only, or a ';' ending the line
    if (line[pos] == ';') {
      parsed.push_back({std::nullopt, failure(-102, "empty command", line.substr(pos), pos).error});
      ++pos;
      continue;
    }
    CommandReader reader(line, pos, remembered);
    auto result = reader.read();
    if (auto* f = std::get_if<Failure>(&result)) {
      parsed.push_back({std::nullopt, std::move(f->error)});
      pos = nextSeparator(line, f->at);
    } else {
      parsed.push_back({std::move(std::get<Command>(result)), std::nullopt});
      pos = reader.pos();
    }
    if (pos >= line.size()) break;
    ++pos;  // the ';'
  }
  return parsed;
}

bool matches(std::string_view pattern, std::string_view sent) {
  const std::size_t shortLength =
      std::find_if(pattern.begin(), pattern.end(), [](char c) { return c >= 'a' && c <= 'z'; }) - pattern.begin();
  const auto sameAs = [sent](std::string_view form) {
    return form.size() == sent.size() &&
           std::equal(form.begin(), form.end(), sent.begin(), [](char a, char b) { return upper(a) == upper(b); });
  };
  return sameAs(pattern.substr(0, shortLength)) || sameAs(pattern);
}

bool matchesPath(std::string_view pattern, const std::vector<std::string>& path) {
  std::vector<Node> nodes;
  bool inBrackets = false;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '[' || c == ']') {
      inBrackets = c == '[';
      ++i;
    } else if (c == ':') {
      ++i;
    } else {
      const std::size_t end = std::min(pattern.find_first_of(":[]", i), pattern.size());
      nodes.push_back({pattern.substr(i, end - i), inBrackets});
      i = end;
    }
  }
  if (path.size() > nodes.size()) return false;
  return matchNodes(nodes, 0, path, 0);
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

}  // namespace tavrin::scpi
