// The configuration file: the board's full-scale current in mA.
#pragma once

#include <optional>
#include <string>

#include "core/files.h"
#include "form/mainform.h"

namespace tavrin {

// The operator's message for a file failure of the configuration file, or
// nullopt for the kinds that end silently.
std::optional<std::string> configFailureMessage(FileErrorCode code);

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
