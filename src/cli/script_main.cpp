// The window-less program: runs operator scripts in virtual time. The same
// options as tavrin; --script is required.
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/script.h"

int main(int argc, char** argv) {
  int status = 0;
  std::vector<std::string> words = tavrin::utf8Arguments(argc, argv);
  std::vector<char*> args;
  args.reserve(words.size());
  for (auto& w : words) args.push_back(w.data());
  auto options = tavrin::parseCommandLine(static_cast<int>(args.size()), args.data(), status, "tavrin-script");
  if (!options) return status;
  if (options->scriptFile.empty()) {
    std::cerr << "tavrin-script: --script FILE is required\n";
    return 2;
  }
  return tavrin::runScript(*options, std::cout, std::cerr);
}
