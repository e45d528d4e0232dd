// The remote dialect's grammar on any line: each command read or refused with
// an error fit for the error queue, what was read written out again reads the
// same, a command in front changes nothing after it, and any text quoted as
// a response quotes it reads back as itself.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "remote/scpi.h"

using namespace tavrin;
using namespace tavrin::scpi;

namespace {

// Capitals, digits and '_', starting with a capital: a mnemonic (at most 12) or a word (any length).
bool isName(std::string_view m, std::size_t most = 12) {
  if (m.empty() || m.size() > most || m[0] < 'A' || m[0] > 'Z') return false;
  for (const char c : m) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

void checkCommand(const Command& c) {
  FUZZ_CHECK(!c.path.empty() && c.path.size() <= 8);
  const bool common = c.path[0][0] == '*';
  if (common) FUZZ_CHECK(c.path.size() == 1 && isName(std::string_view(c.path[0]).substr(1)));
  for (const auto& m : c.path) FUZZ_CHECK(common || isName(m));
  for (const auto& a : c.arguments) {
    if (a.kind == Argument::Kind::Number) FUZZ_CHECK(!a.text.empty() && std::isfinite(a.number));
    if (a.kind == Argument::Kind::Word) FUZZ_CHECK(isName(a.text, a.text.size()));
  }
}

// A command as a line would carry it, from the root: reading it gives it back.
std::string written(const Command& c) {
  std::string out = c.path[0][0] == '*' ? "" : ":";
  for (std::size_t i = 0; i < c.path.size(); ++i) out += (i ? ":" : "") + c.path[i];
  if (c.query) out += '?';
  for (std::size_t i = 0; i < c.arguments.size(); ++i) {
    const auto& a = c.arguments[i];
    out += (i ? "," : " ") + (a.kind == Argument::Kind::String ? scpi::quoted(a.text) : a.text);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line = fuzz::text(data, size);
  const auto parsed = parseMessage(line);

  std::string again;
  std::vector<Command> commands;
  for (const auto& p : parsed) {
    FUZZ_CHECK(p.command.has_value() != p.error.has_value());
    if (p.error) {
      // It goes into a response line: SCPI's number, a message of printable ASCII.
      const int code = p.error->code;
      FUZZ_CHECK(code == -101 || code == -102 || code == -104 || code == -112 || code == -222);
      FUZZ_CHECK(!p.error->message.empty() && p.error->message.size() < 160);
      for (const char ch : p.error->message) FUZZ_CHECK(ch >= 0x20 && ch < 0x7F);
      continue;
    }
    checkCommand(*p.command);
    if (!again.empty()) again += ';';
    again += written(*p.command);
    commands.push_back(*p.command);
  }
  // One command a ';' at the most, errors included.
  FUZZ_CHECK(parsed.size() <= static_cast<std::size_t>(std::count(line.begin(), line.end(), ';')) + 1);

  const auto reread = parseMessage(again);
  FUZZ_CHECK(reread.size() == commands.size());
  for (std::size_t i = 0; i < reread.size(); ++i) FUZZ_CHECK(reread[i].command == commands[i]);

  // A one-mnemonic command in front leaves the root as the path to build on.
  const auto behind = parseMessage("*CLS;A 1;" + std::string(line));
  FUZZ_CHECK(behind.size() == parsed.size() + 2);
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    FUZZ_CHECK(behind[i + 2].command == parsed[i].command && behind[i + 2].error == parsed[i].error);
  }

  const auto back = parseMessage("X " + scpi::quoted(line));
  FUZZ_CHECK(back.size() == 1 && back[0].command && back[0].command->arguments.size() == 1);
  FUZZ_CHECK(back[0].command->arguments[0].kind == Argument::Kind::String);
  FUZZ_CHECK(back[0].command->arguments[0].text == line);
  return 0;
}
