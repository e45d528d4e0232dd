// Runs one golden case through tavrin-script on the simulated board and checks its link trace (whole) and its
// printed dumps (the lines the case lists, in order); see README.md.
//
//   tavrin_golden_check RUNNER CASE_DIR NAME WORK_DIR
//
// With TAVRIN_GOLDEN_UPDATE=1 the expected files are rewritten from the run.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

Lines readLines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  Lines lines;
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
  }
  return lines;
}

bool writeLines(const fs::path& p, const Lines& lines) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  for (const auto& l : lines) out << l << '\n';
  return static_cast<bool>(out);
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// What a dump line is about: "Info.text=..." -> "Info.text=", "# dump at 200.0" -> "# dump at".
std::string keyOf(const std::string& line) {
  if (line.rfind("# dump at", 0) == 0) return "# dump at";
  auto eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(0, eq + 1);
}

// The first printed line from `from` on that `match` takes; printed.size() if none.
template <class Match>
std::size_t findFrom(const Lines& printed, std::size_t from, Match match) {
  const auto start = printed.begin() + static_cast<std::ptrdiff_t>(std::min(from, printed.size()));
  return static_cast<std::size_t>(std::find_if(start, printed.end(), match) - printed.begin());
}

// Most cases start up alike: an expected trace may begin with this line in place of the shared start-up's lines.
const std::string kStartUp = "start-up.trace", kInclude = "#include " + kStartUp;

Lines readExpectedTrace(const fs::path& p) {
  Lines lines = readLines(p);
  if (lines.empty() || lines[0] != kInclude) return lines;
  Lines whole = readLines(p.parent_path() / kStartUp);
  whole.insert(whole.end(), lines.begin() + 1, lines.end());
  return whole;
}

// For an update: the include in place of the shared start-up, if the run starts with it.
Lines withInclude(const fs::path& caseDir, Lines actual) {
  const Lines startUp = readLines(caseDir / kStartUp);
  if (startUp.empty() || actual.size() < startUp.size() || !std::equal(startUp.begin(), startUp.end(), actual.begin()))
    return actual;
  actual.erase(actual.begin() + 1, actual.begin() + static_cast<std::ptrdiff_t>(startUp.size()));
  actual[0] = kInclude;
  return actual;
}

int compareTrace(const fs::path& expectedPath, const fs::path& actualPath) {
  const Lines expected = readExpectedTrace(expectedPath), actual = readLines(actualPath);
  auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  if (e == expected.end() && a == actual.end()) return 0;
  std::cerr << "trace differs at line " << e - expected.begin() + 1
            << "\n  expected: " << (e == expected.end() ? "(end of trace)" : *e)
            << "\n  actual:   " << (a == actual.end() ? "(end of trace)" : *a)
            << "\n  expected file: " << expectedPath.string() << "\n  actual file:   " << actualPath.string() << '\n';
  return 1;
}

// Finds the chosen dump lines in what was printed, in order. Checking, each must be printed as it stands; updating
// (`refreshed` given), each takes the printed line with its key, and one no longer printed is dropped.
int matchDump(const fs::path& chosenPath, const Lines& printed, Lines* refreshed = nullptr) {
  const Lines chosen = readLines(chosenPath);
  std::size_t pos = 0;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const std::string& e = chosen[i];
    auto sameKey = [&](const std::string& p) { return keyOf(p) == keyOf(e); };
    const std::size_t j = refreshed ? findFrom(printed, pos, sameKey)
                                    : findFrom(printed, pos, [&](const std::string& p) { return p == e; });
    if (j < printed.size()) {
      if (refreshed) refreshed->push_back(printed[j]);
      pos = j + 1;
    } else if (refreshed) {
      std::cerr << "note: no longer printed, dropped: " << e << '\n';
    } else {
      std::cerr << "dump line " << i + 1 << " of " << chosenPath.string() << " not printed (in this order):\n"
                << "  expected: " << e << '\n';
      if (const std::size_t k = findFrom(printed, pos, sameKey); k < printed.size())
        std::cerr << "  actual:   " << printed[k] << '\n';
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: tavrin_golden_check RUNNER CASE_DIR NAME WORK_DIR\n";
    return 2;
  }
  const fs::path caseDir = argv[2], work = argv[4];
  const std::string name = argv[3];
  // The sweep's result shows the system's decimal separator: fix the locale so the expected files hold everywhere.
  ::setenv("LC_ALL", "C", 1);

  std::error_code ec;
  fs::remove_all(work, ec);
  fs::create_directories(work / "drives");
  const fs::path trace = work / (name + ".trace"), out = work / (name + ".out"), err = work / (name + ".err");
  std::string cmd = quoted(argv[1]) + " --board sim --drive-root " + quoted((work / "drives").string()) +
                    " --trace " + quoted(trace.string());
  for (const auto& a : readLines(caseDir / (name + ".args")))  // none if there is no such file
    if (!a.empty() && a[0] != '#') cmd += " " + quoted(a);
  cmd += " --script " + quoted((caseDir / (name + ".script")).string()) + " >" + quoted(out.string()) + " 2>" +
         quoted(err.string());

  const int status = std::system(cmd.c_str());
  for (const auto& l : readLines(err)) std::cerr << "tavrin-script: " << l << '\n';
  if (status != 0) {
    std::cerr << name << ": tavrin-script ended with status "
              << (status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1) << '\n';
    return 1;
  }
  const Lines printed = readLines(out);

  const fs::path expectedTrace = caseDir / (name + ".trace"), expectedDump = caseDir / (name + ".dump");
  if (const char* u = std::getenv("TAVRIN_GOLDEN_UPDATE"); u && *u && std::string(u) != "0") {
    Lines dump = fs::exists(expectedDump) ? Lines{} : printed;  // a case without NAME.dump gets the whole output
    matchDump(expectedDump, printed, &dump);
    bool ok = writeLines(expectedTrace, withInclude(caseDir, readLines(trace)));
    ok = writeLines(expectedDump, dump) && ok;
    std::cout << name << ": expected files rewritten from this run; check them by eye before committing\n";
    return ok ? 0 : 1;
  }
  if (!fs::exists(expectedTrace) || !fs::exists(expectedDump)) {
    std::cerr << name << ": missing " << expectedTrace.string() << " or " << expectedDump.string()
              << " (run with TAVRIN_GOLDEN_UPDATE=1 to write them)\n";
    return 1;
  }
  if (compareTrace(expectedTrace, trace) + matchDump(expectedDump, printed)) return 1;
  std::cout << name << ": trace and dump as expected\n";
  return 0;
}
