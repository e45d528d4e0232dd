// tavrin-tracediff A B: compares two link traces with a time tolerance and
// prints the first difference. Exit 0 when they match, 1 when they differ,
// 2 on a bad command line or a file that cannot be read.
#include <iostream>
#include <string>
#include <vector>

#include "cli/option_table.h"
#include "cli/tracediff.h"
#include "core/files.h"

namespace {
std::string usage() {
  return "usage: tavrin-tracediff [--tolerance MS] [--relative FRACTION] [--any-device] TRACE_A TRACE_B\n"
         "Compares two link traces line by line, times within a tolerance.\n" +
         tavrin::optionHelp(tavrin::kTavrinTraceDiff);
}
}  // namespace

int main(int argc, char** argv) {
  tavrin::ParsedWords words;
  std::string error;
  if (!tavrin::parseArguments(tavrin::kTavrinTraceDiff, argc, argv, words, error)) {
    std::cerr << "tavrin-tracediff: " << error << '\n';
    return 2;
  }
  if (words.options.help) {
    std::cout << usage();
    return 0;
  }
  if (words.plain.size() > 2) {
    std::cerr << "tavrin-tracediff: unexpected '" << words.plain[2] << "'\n" << usage();
    return 2;
  }
  if (words.plain.size() != 2) {
    std::cerr << usage();
    return 2;
  }
  const std::string* files = words.plain.data();
  std::string text[2];
  for (int k = 0; k < 2; ++k) {
    auto r = tavrin::readWholeFile(tavrin::pathFromUtf8(files[k]), text[k]);
    if (!r.ok()) {
      std::cerr << "tavrin-tracediff: cannot read " << files[k] << ": " << r.detail << '\n';
      return 2;
    }
  }
  auto c = tavrin::compareTraces(text[0], text[1], words.options.tolerance);
  if (c.same) {
    std::cout << "traces match: " << c.lines << " lines, times within "
              << tavrin::msText(c.largestDiffMs) << " ms\n";
    return 0;
  }
  std::cout << "traces differ at line " << c.line << ": " << c.why << "\n  " << files[0] << ": " << c.a << "\n  "
            << files[1] << ": " << c.b << '\n';
  return 1;
}
