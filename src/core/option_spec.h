// What one command-line option is, apart from where its value goes: its name,
// the kind and range of its value, the programs that take it and its --help
// line. The tables of these live with the settings they fill (the program's
// options in cli/, each link backend's in shell/); this is the reading and the
// help layout they share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

// The programs that read a command line, one bit each.
enum ProgramBit : unsigned {
  kTavrin = 1,
  kTavrinScript = 2,
  kTavrinPlot = 4,
  kTavrinTraceDiff = 8,
  kTavrinSimBoard = 16,
};
// tavrin and tavrin-script take the same options.
inline constexpr unsigned kMainPrograms = kTavrin | kTavrinScript;

enum class OptionKind {
  Flag,      // no value
  Text,      // a word (a backend name, a fault list ...)
  Path,      // a file or folder
  Library,   // a path, or a bare library name the system's loader looks up
  Number,    // a decimal number within [min, max]
  DateTime,  // local date and time, YYYY-MM-DDTHH:MM:SS
};

struct OptionInfo {
  const char* name;                 // "--sim-idle"
  const char* alias = nullptr;      // a short spelling ("-h", "-o")
  OptionKind kind = OptionKind::Flag;
  double min = 0, max = 0;          // Number only
  const char* unit = nullptr;       // Number: named in its one error message ("milliseconds")
  unsigned programs = 0;            // ProgramBit set
  const char* placeholder = "";     // the value in --help ("HZ")
  const char* help = "";            // lines joined by '\n'; "{}" is replaced by detail()
  std::string (*detail)() = nullptr;
  const char* label = nullptr;      // the left column, when not "NAME PLACEHOLDER"
};

// The value as read: its text, and for a Number the number.
struct OptionValue {
  std::string text;
  double number = 0;
};

// Whether `word` names the option (its name or its alias).
bool optionNamed(const OptionInfo& option, std::string_view word);

// Checks a Number option's text against its range and fills value.number;
// false with a one-line message otherwise.
bool readNumberValue(const OptionInfo& option, OptionValue& value, std::string& error);

// The --help lines of these options: the name and value at the left, the help
// from column 25. Options without help are listed together on one line
// ("--help, --version").
std::string optionHelpLines(const std::vector<const OptionInfo*>& options);

// The options as one line each, "NAME value|flag path|library|-", for scripts
// that pass options on (run.sh).
std::string optionFacts(const std::vector<const OptionInfo*>& options);

}  // namespace tavrin
