// The remote dialect's grammar: header paths, arguments, errors and the recovery after them, long and short forms.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "remote/scpi.h"

namespace tavrin::scpi {
namespace {

// A line's commands in one text: "SWE:STAR? n1 wON s'x'" per command, "!-102" per error, joined by " | ".
std::string shape(std::string_view line) {
  std::string out;
  for (const auto& p : parseMessage(line)) {
    if (!out.empty()) out += " | ";
    if (p.error) {
      out += "!" + std::to_string(p.error->code);
      continue;
    }
    for (std::size_t i = 0; i < p.command->path.size(); ++i) out += (i ? ":" : "") + p.command->path[i];
    if (p.command->query) out += "?";
    for (const auto& a : p.command->arguments) {
      out += a.kind == Argument::Kind::Number ? " n" + a.text
             : a.kind == Argument::Kind::Word ? " w" + a.text
                                              : " s'" + a.text + "'";
    }
  }
  return out;
}

TEST(ScpiParse, HeadersBuildOnThePathBeforeThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"SWE:STAR 1;STOP 2", "SWE:STAR n1 | SWE:STOP n2"},
      {"swe:star 1; :freq 5 ;phas 2", "SWE:STAR n1 | FREQ n5 | PHAS n2"},
      {"SWE:STAR 1;*cls;STOP 2", "SWE:STAR n1 | *CLS | SWE:STOP n2"},
      {"A:B:C;D:E;F", "A:B:C | A:B:D:E | A:B:D:F"},
      {"SYST:ERR?;VERS?;*IDN?", "SYST:ERR? | SYST:VERS? | *IDN?"},
      {"FREQ? MAX", "FREQ? wMAX"},
      {"", ""},
      {" \t ", ""},
      {"OUTP ON;", "OUTP wON"},
      {"A:B:C:D:E:F:G:H;I", "A:B:C:D:E:F:G:H | A:B:C:D:E:F:G:I"},
  };
  for (auto [line, expected] : cases) EXPECT_EQ(shape(line), expected) << line;
}

TEST(ScpiParse, ReadsNumbersStringsAndWords) {
  EXPECT_EQ(shape("X -1.5E3,.5 , +5.,1e-400,\tfOrw_2, 'it''s;\"x\"', \"a\"\"b\",''"),
            "X n-1.5E3 n.5 n+5. n1e-400 wFORW_2 s'it's;\"x\"' s'a\"b' s''");
  const std::pair<const char*, double> numbers[] = {
      {"-1.5E3", -1500}, {".5", 0.5}, {"+5.", 5}, {"1e-400", 0}, {"44000", 44000}, {"1.5e+2", 150}, {"-0", 0}};
  for (auto [text, value] : numbers) {
    const auto parsed = parseMessage(std::string("X ") + text);
    ASSERT_TRUE(parsed.at(0).command) << text;
    EXPECT_DOUBLE_EQ(parsed[0].command->arguments.at(0).number, value) << text;
  }
}

// Each error takes its command's place; the next command after a ';' outside a string is read again.
TEST(ScpiParse, ErrorsHaveTheirNumbersAndTheLineGoesOn) {
  const std::pair<const char*, const char*> cases[] = {
      {"A;;B", "A | !-102 | B"},           {";", "!-102"},
      {"FR$Q 1;FREQ 2", "!-101 | FREQ n2"}, {"X \x01;X \xC3\xA9", "!-101 | !-101"},
      {"FREQ 44kHz;PHAS 2", "!-104 | PHAS n2"}, {"X #H1F", "!-104"},
      {"X 1e400;X -1e999", "!-222 | !-222"},  {"X 1.2.3;X 1e;X -;X 1-2", "!-102 | !-102 | !-102 | !-102"},
      {"X 1 2;X 1,,2;X 1,;X,1", "!-102 | !-102 | !-102 | !-102"},
      {"FREQ ?;SWE:;::A;5;*IDN:X;SWE:*IDN", "!-102 | !-102 | !-102 | !-102 | !-102 | !-102"},
      {"ABCDEFGHIJKLM;A:B:C:D:E:F:G:H:I", "!-112 | !-102"},
      {"LOG:FILE \"a;b\"x;:OUTP ON", "!-102 | OUTP wON"},
      {"OUTP ON;LOG:FILE \"abc;OUTP OFF", "OUTP wON | !-102"},
      {"SWE:STAR 1;STOP 2x;STEP 3", "SWE:STAR n1 | !-104 | SWE:STEP n3"},
      {"SWE:ST$P 2;STAR 1", "!-101 | STAR n1"},  // a header not read leaves no path to guess from
  };
  for (auto [line, expected] : cases) EXPECT_EQ(shape(line), expected) << line;

  const std::pair<const char*, const char*> messages[] = {
      {"LOG:FILE \"C:\\x", "Syntax error; unterminated string: \"C:\\x"},
      {"X 1,\x7F", "Invalid character; not part of the dialect: \\x7F"},
      {"FREQ 44kHz", "Data type error; a number takes no unit or suffix: 44kHz"},
      {"X 1e400", "Data out of range; number too large: 1e400"},
      {"X 1 2345678901234567890123", "Syntax error; expected ',' between arguments: 23456789012345678901..."},
  };
  for (auto [line, message] : messages) EXPECT_EQ(parseMessage(line).at(0).error->message, message) << line;
}

TEST(ScpiMatch, ShortOrLongFormInAnyCase) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"FREQuency", "freq", true},  {"FREQuency", "FREQU", false}, {"FREQuency", "FREQUENCY", true},
      {"FREQuency", "FRE", false},  {"FREQuency", "FREQUENCYX", false}, {"Q", "q", true},
      {"*IDN", "*IDN", true},       {"STEPtime", "stept", false},
  };
  for (auto [pattern, sent, expected] : cases) EXPECT_EQ(matches(pattern, sent), expected) << pattern << " " << sent;

  using Path = std::vector<std::string>;
  const std::tuple<const char*, Path, bool> paths[] = {
      {"SYSTem:ERRor[:NEXT]", {"SYST", "ERR"}, true},   {"SYSTem:ERRor[:NEXT]", {"SYSTEM", "ERROR", "NEXT"}, true},
      {"SYSTem:ERRor[:NEXT]", {"SYST"}, false},         {"SYSTem:ERRor[:NEXT]", {"SYST", "ERR", "NEX"}, false},
      {"[SOURce:]FREQuency", {"FREQ"}, true},           {"[SOURce:]FREQuency", {"SOUR", "FREQ"}, true},
      {"SWEep:STARt", {"SWE", "STAR", "X"}, false},     {"SWEep:STARt", {}, false},
  };
  for (const auto& [pattern, path, expected] : paths) EXPECT_EQ(matchesPath(pattern, path), expected) << pattern;
}

TEST(ScpiQuoted, DoublesTheQuoteAndReadsBack) {
  for (const std::string text : {"", "plain", "say \"hi\"", "'; \"\"", "C:\\stator-1.txt"}) {
    const auto parsed = parseMessage("X " + scpi::quoted(text));
    ASSERT_TRUE(parsed.at(0).command) << text;
    EXPECT_EQ(parsed[0].command->arguments.at(0).text, text);
  }
  EXPECT_EQ(scpi::quoted("a\"b"), "\"a\"\"b\"");
}

}  // namespace
}  // namespace tavrin::scpi
