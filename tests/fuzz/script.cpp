// The operator script parser: any text gives either actions of a known shape
// or one error that names a line of the script.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "cli/script.h"
#include "fuzz_check.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string contents(fuzz::text(data, size));
  std::string error;
  const auto actions = parseScript(contents, error);
  const long lines = static_cast<long>(std::count(contents.begin(), contents.end(), '\n')) + 1;
  if (!actions) {
    FUZZ_CHECK(error.rfind("script line ", 0) == 0);
    const long n = std::strtol(error.c_str() + 12, nullptr, 10);
    FUZZ_CHECK(n >= 1 && n <= lines);
    return 0;
  }
  static const std::set<std::string> withControl{"click", "type",    "settext", "enter", "leave",
                                                 "press", "release", "tick",    "untick"};
  static const std::set<std::string> withText{"type", "settext", "answer"};
  int previous = 0;
  for (const auto& a : *actions) {
    FUZZ_CHECK(a.line > previous && a.line <= lines);
    previous = a.line;
    FUZZ_CHECK(std::isfinite(a.atMs) && a.atMs >= 0);
    const bool control = withControl.count(a.action) > 0;
    FUZZ_CHECK(control || a.action == "answer" || a.action == "close" || a.action == "dump");
    FUZZ_CHECK(control == !a.control.empty());
    FUZZ_CHECK(a.control.find_first_of(" \t\n") == std::string::npos);
    if (!withText.count(a.action)) FUZZ_CHECK(a.text.empty());
    if (a.action == "answer") FUZZ_CHECK(!a.text.empty());
    FUZZ_CHECK(a.text.find('\n') == std::string::npos);
  }
  return 0;
}
