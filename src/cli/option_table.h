// The one table of every program's command-line options: the programs' own,
// then each link backend's from the backend registry, then --help and
// --version. Parsing, the range errors, every program's --help (and so the
// man pages) and run.sh's list of options come from it.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "core/option_spec.h"

namespace tavrin {

struct ProgramOption {
  OptionInfo info;
  std::function<bool(Options&, const OptionValue&, std::string& error)> set;
  const Backend* backend = nullptr;  // the backend whose option it is
  bool onlyWithBackend = false;      // given with another --board it is a mistake
};

const std::vector<ProgramOption>& optionTable();

// The words of a command line read against the table.
struct ParsedWords {
  Options options;
  std::vector<std::string> plain;  // the words that are no option, in order
  std::set<std::string> given;     // the names of the options given
};

// Reads `args` (without the program's name) for `program`. tavrin and
// tavrin-script take "--NAME" words only and end their options at the first
// plain word; the other programs take "-X" words too, anywhere. "--" ends the
// options for all. False with a one-line message on a bad word.
bool parseWords(unsigned program, const std::vector<std::string>& args, ParsedWords& out, std::string& error);

// Whether the option NAME of `program` takes a value (the next word, or after "=").
bool optionTakesValue(unsigned program, std::string_view name);
// The same for a program's own command line (its UTF-8 words, the program's
// name left out).
bool parseArguments(unsigned program, int argc, char** argv, ParsedWords& out, std::string& error);

// The option lines of a program's --help.
std::string optionHelp(unsigned program);
// A program's options one a line, "NAME value|flag path|library|-" (run.sh).
std::string optionFactsOf(unsigned program);

}  // namespace tavrin
