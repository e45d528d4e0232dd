// The configuration file: the board's full-scale current in mA.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/files.h"
#include "form/mainform.h"

namespace tavrin {

// The operator's message for a file failure of the configuration file, or
// nullopt for the kinds that end silently.
std::optional<std::string> configFailureMessage(FileErrorCode code);

// The configuration file's lines in order: the full-scale current of a value
// line, nothing for a blank or ";" line (leading blanks do not count). A file
// with line feeds alone is read by its line feeds. The reading ends before the
// first value line that is not a whole number of 16 bits.
std::vector<std::optional<std::int16_t>> configLines(std::string contents);

class ConfigLoader {
 public:
  ConfigLoader(Mainform& form, const PathMapper& paths) : f_(form), paths_(paths) {}

  // Reads "C:\Windows\Tavrin.ini": every value line sets FullScalemA (the last
  // wins) and adds a note to Info. Comments start with ";".
  void LoadConfig();

 private:
  Mainform& f_;
  const PathMapper& paths_;
};

}  // namespace tavrin
