// tavrin-tracediff A B: compares two link traces with a time tolerance and
// prints the first difference. Exit 0 when they match, 1 when they differ,
// 2 on a bad command line or a file that cannot be read.
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/tracediff.h"
#include "core/files.h"
#include "core/numbers.h"

int main(int argc, char** argv) {
  const std::vector<std::string> argv8 = tavrin::utf8Arguments(argc, argv);
  argc = static_cast<int>(argv8.size());
  tavrin::TraceTolerance tolerance;
  std::string files[2];
  int nFiles = 0;
  const std::string usage =
      "usage: tavrin-tracediff [--tolerance MS] [--relative FRACTION] [--any-device] TRACE_A TRACE_B\n"
      "  times may differ by MS (50) plus FRACTION (0.01) of the later time;\n"
      "  --any-device: the boards' serial numbers and descriptions may differ\n";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv8[static_cast<std::size_t>(i)];
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      return 0;
    }
    if (arg == "--any-device") {
      tolerance.anyDevice = true;
    } else if (arg == "--tolerance" || arg == "--relative") {
      auto v = i + 1 < argc ? tavrin::wholeNumber(argv8[static_cast<std::size_t>(i) + 1]) : std::nullopt;
      if (!v || *v < 0 || (arg == "--relative" && *v > 1) || *v > 1e9) {
        std::cerr << "tavrin-tracediff: " << arg << " needs a number"
                  << (arg == "--relative" ? " from 0 to 1" : " of milliseconds from 0") << '\n';
        return 2;
      }
      (arg == "--tolerance" ? tolerance.ms : tolerance.fraction) = *v;
      ++i;
    } else if (nFiles < 2 && !(arg.size() > 1 && arg[0] == '-')) {
      files[nFiles++] = arg;
    } else {
      std::cerr << "tavrin-tracediff: unexpected '" << arg << "'\n" << usage;
      return 2;
    }
  }
  if (nFiles != 2) {
    std::cerr << usage;
    return 2;
  }
  std::string text[2];
  for (int k = 0; k < 2; ++k) {
    auto r = tavrin::readWholeFile(tavrin::pathFromUtf8(files[k]), text[k]);
    if (!r.ok()) {
      std::cerr << "tavrin-tracediff: cannot read " << files[k] << ": " << r.detail << '\n';
      return 2;
    }
  }
  auto c = tavrin::compareTraces(text[0], text[1], tolerance);
  if (c.same) {
    std::cout << "traces match: " << c.lines << " lines, times within "
              << tavrin::msText(c.largestDiffMs) << " ms\n";
    return 0;
  }
  std::cout << "traces differ at line " << c.line << ": " << c.why << "\n  " << files[0] << ": " << c.a << "\n  "
            << files[1] << ": " << c.b << '\n';
  return 1;
}
