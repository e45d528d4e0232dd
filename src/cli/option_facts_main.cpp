// Prints tavrin's options one a line, "NAME value|flag path|library|-", for
// run.sh, which passes options on and makes their relative paths absolute.
// Built, never installed.
#include <iostream>

#include "cli/option_table.h"

int main() {
  std::cout << tavrin::optionFactsOf(tavrin::kTavrin);
  return 0;
}
