// Runs one golden case through tavrin-script on the simulated board and checks
// its link trace (whole) and its printed dumps (the lines the case lists).
//
//   tavrin_golden_check RUNNER CASE_DIR NAME WORK_DIR
//
// CASE_DIR/NAME.script is run with --board sim, a fresh drive root and
// --trace; CASE_DIR/NAME.args (optional) adds options, one per line. The run
// must end with status 0. NAME.trace must equal the trace; every line of
// NAME.dump must appear in what the run printed, in the same order.
// With TAVRIN_GOLDEN_UPDATE=1 the expected files are rewritten from the run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

std::vector<std::string> readLines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
  }
  return lines;
}

bool writeLines(const fs::path& p, const std::vector<std::string>& lines) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  for (const auto& l : lines) out << l << '\n';
  return static_cast<bool>(out);
}

// Runs argv with stdout and stderr into files; returns the exit status, or -1.
int run(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::cerr << "cannot start " << argv[0] << ": " << std::strerror(rc) << '\n';
    return -1;
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What a dump line is about: "Info.text=..." -> "Info.text=", "# dump at 200.0" -> "# dump at".
std::string keyOf(const std::string& line) {
  if (line.rfind("# dump at", 0) == 0) return "# dump at";
  auto eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(0, eq + 1);
}

bool updating() {
  const char* u = std::getenv("TAVRIN_GOLDEN_UPDATE");
  return u && *u && std::string(u) != "0";
}

int compareTrace(const fs::path& expectedPath, const fs::path& actualPath) {
  auto expected = readLines(expectedPath);
  auto actual = readLines(actualPath);
  for (std::size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
    const std::string* e = i < expected.size() ? &expected[i] : nullptr;
    const std::string* a = i < actual.size() ? &actual[i] : nullptr;
    if (e && a && *e == *a) continue;
    std::cerr << "trace differs at line " << i + 1 << "\n  expected: " << (e ? *e : "(end of trace)")
              << "\n  actual:   " << (a ? *a : "(end of trace)") << "\n  expected file: " << expectedPath.string()
              << "\n  actual file:   " << actualPath.string() << '\n';
    return 1;
  }
  return 0;
}

int compareDump(const fs::path& expectedPath, const std::vector<std::string>& printed) {
  auto expected = readLines(expectedPath);
  std::size_t pos = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& e = expected[i];
    std::size_t j = pos;
    while (j < printed.size() && printed[j] != e) ++j;
    if (j < printed.size()) {
      pos = j + 1;
      continue;
    }
    std::cerr << "dump line " << i + 1 << " of " << expectedPath.string() << " not printed (in this order):\n  expected: "
              << e << '\n';
    for (std::size_t k = pos; k < printed.size(); ++k)
      if (keyOf(printed[k]) == keyOf(e)) {
        std::cerr << "  actual:   " << printed[k] << '\n';
        break;
      }
    return 1;
  }
  return 0;
}

// Keeps the lines the case chose and refreshes their values from the run.
std::vector<std::string> refreshDump(const std::vector<std::string>& chosen, const std::vector<std::string>& printed) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (const auto& e : chosen) {
    std::size_t j = pos;
    while (j < printed.size() && keyOf(printed[j]) != keyOf(e)) ++j;
    if (j < printed.size()) {
      out.push_back(printed[j]);
      pos = j + 1;
    } else {
      std::cerr << "note: no longer printed, dropped: " << e << '\n';
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: tavrin_golden_check RUNNER CASE_DIR NAME WORK_DIR\n";
    return 2;
  }
  const std::string runner = argv[1];
  const fs::path caseDir = argv[2];
  const std::string name = argv[3];
  const fs::path work = argv[4];

  // The sweep's result shows the system's decimal separator: fix the locale so
  // the expected files hold on every machine.
  ::setenv("LC_ALL", "C", 1);

  std::error_code ec;
  fs::remove_all(work, ec);
  fs::create_directories(work / "drives");
  const fs::path trace = work / (name + ".trace"), out = work / (name + ".out"), err = work / (name + ".err");

  std::vector<std::string> cmd{runner, "--board", "sim", "--drive-root", (work / "drives").string(), "--trace",
                               trace.string()};
  if (fs::exists(caseDir / (name + ".args")))
    for (const auto& a : readLines(caseDir / (name + ".args")))
      if (!a.empty() && a[0] != '#') cmd.push_back(a);
  cmd.push_back("--script");
  cmd.push_back((caseDir / (name + ".script")).string());

  int status = run(cmd, out, err);
  for (const auto& l : readLines(err)) std::cerr << "tavrin-script: " << l << '\n';
  if (status != 0) {
    std::cerr << name << ": tavrin-script ended with status " << status << '\n';
    return 1;
  }
  auto printed = readLines(out);

  const fs::path expectedTrace = caseDir / (name + ".trace"), expectedDump = caseDir / (name + ".dump");
  if (updating()) {
    bool ok = writeLines(expectedTrace, readLines(trace));
    auto dump = fs::exists(expectedDump) ? refreshDump(readLines(expectedDump), printed) : printed;
    ok = writeLines(expectedDump, dump) && ok;
    std::cout << name << ": expected files rewritten from this run; check them by eye before committing\n";
    return ok ? 0 : 1;
  }
  if (!fs::exists(expectedTrace) || !fs::exists(expectedDump)) {
    std::cerr << name << ": missing " << expectedTrace.string() << " or " << expectedDump.string()
              << " (run with TAVRIN_GOLDEN_UPDATE=1 to write them)\n";
    return 1;
  }
  int failures = compareTrace(expectedTrace, trace) + compareDump(expectedDump, printed);
  if (failures == 0) std::cout << name << ": trace and dump as expected\n";
  return failures ? 1 : 0;
}
