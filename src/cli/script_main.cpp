// The window-less program: runs operator scripts in virtual time. The same
// options as tavrin; --script is required.
#include <iostream>

#include "cli/options.h"
#include "cli/script.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = tavrin::parseOptions(args, error);
  if (!options) {
    std::cerr << "tavrin: " << error << '\n';
    return 2;
  }
  if (options->help) {
    std::cout << tavrin::usageText();
    return 0;
  }
  if (options->scriptFile.empty()) {
    std::cerr << "tavrin-script: --script FILE is required\n";
    return 2;
  }
  return tavrin::runScript(*options, std::cout, std::cerr);
}
