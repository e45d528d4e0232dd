// The window-less program: runs operator scripts in virtual time. The same
// options as tavrin; --script is required.
#include <iostream>

#include "cli/options.h"
#include "cli/script.h"

int main(int argc, char** argv) {
  int status = 0;
  auto options = tavrin::parseCommandLine(argc, argv, status);
  if (!options) return status;
  if (options->scriptFile.empty()) {
    std::cerr << "tavrin-script: --script FILE is required\n";
    return 2;
  }
  return tavrin::runScript(*options, std::cout, std::cerr);
}
