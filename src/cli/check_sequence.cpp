#include "cli/check_sequence.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/escape.h"
#include "core/files.h"
#include "core/numbers.h"
#include "sequencer/sequence_file.h"

namespace tavrin {

namespace {

constexpr double kLongestWaitMs = 60000;  // the runner's cap on one step's wait
// Larger than any sequence file a person writes; keeps a wrong name (a disk
// image, a log of gigabytes) from being read whole.
constexpr std::uintmax_t kLargestFile = 64u << 20;

// A number as an operator reads it: thousands grouped with commas, a period
// before any fraction ("100,000", "7.5", "-3,276,800,000").
std::string grouped(double value) {
  std::string s = shortestDecimal(value);
  std::string sign;
  if (!s.empty() && s[0] == '-') {
    sign = "-";
    s.erase(0, 1);
  }
  std::size_t point = s.find('.');
  std::string whole = s.substr(0, point), fraction = point == std::string::npos ? "" : s.substr(point);
  for (std::size_t i = whole.size(); i > 3; i -= 3) whole.insert(i - 3, ",");
  return sign + whole + fraction;
}

std::string volts(std::int32_t tenths) { return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " V"; }

struct Wait {
  std::int64_t ms = 0;  // what the step really waits
  std::string text;     // "50 x 20 ms = 1,000 ms", with the cap or the rounding
  bool outOfRange = false;
};

// The wait the runner makes for a step: the product, at most 60 s; otherwise
// the product as a 32-bit whole number (halves to even), nothing at 0 or below.
Wait stepWait(std::int16_t units, double stepTimeMs) {
  Wait w;
  const double ms = stepTimeMs * units;
  w.text = grouped(units) + " x " + grouped(stepTimeMs) + " ms = " + grouped(ms) + " ms";
  if (ms > kLongestWaitMs) {
    w.ms = static_cast<std::int64_t>(kLongestWaitMs);
    w.text += ", capped to " + grouped(kLongestWaitMs) + " ms";
    return w;
  }
  auto whole = toInt32(ms);
  if (!whole) {
    w.outOfRange = true;
    w.text += ", out of range";
    return w;
  }
  if (*whole <= 0) {
    w.text += ", no wait";
    return w;
  }
  w.ms = *whole;
  if (*whole != ms) w.text += ", waits " + grouped(*whole) + " ms";
  return w;
}

}  // namespace

SequenceReport sequenceReport(std::string_view contents, const std::string& name, double stepTimeMs) {
  const SequenceCheck check = checkSequence(contents);
  SequenceReport report;
  std::string& out = report.text;
  out = "Sequence file " + escapedName(name) + ", step time " + grouped(stepTimeMs) + " ms\n";

  std::vector<SequenceCheck::Error> errors = check.errors;
  std::vector<int> stepLines;
  std::int64_t repeatMs = 0;
  bool motorRunsAtEnd = false;
  for (const auto& [line, step] : check.steps) {
    stepLines.push_back(line);
    const char* direction = step.supply > 0 ? "forward" : step.supply < 0 ? "reverse" : "unchanged";
    out += "line " + std::to_string(line) + ": " + std::to_string(step.supply) + " mV " + direction + ", ";
    if (auto supply = supplySetting(step.supply)) {
      out += "code " + std::to_string(supply->code) + ", " + volts(supply->tenths) + ", motor " +
             (supply->code == 0 ? "off" : "on");
      motorRunsAtEnd = supply->code != 0;
    } else {
      out += "no supply code (out of range)";  // listed with the errors by checkSequence
    }
    Wait wait = stepWait(step.duration, stepTimeMs);
    out += ", " + wait.text + "\n";
    if (wait.outOfRange)
      errors.push_back({line, "the step's wait of " + grouped(stepTimeMs * step.duration) + " ms is out of range"});
    repeatMs += wait.ms;
  }

  const std::size_t n = check.steps.size();
  if (n == 0) {
    out += "No steps: a run counts its repeats and sends nothing.\n";
  } else {
    out += std::to_string(n) + (n == 1 ? " step" : " steps") + ", one repeat " + grouped(static_cast<double>(repeatMs)) +
           " ms\n";
    if (motorRunsAtEnd)
      out += "The motor runs after the last step: every repeat ends with three tracking passes, not counted above.\n";
  }

  std::stable_sort(errors.begin(), errors.end(), [](const auto& a, const auto& b) { return a.line < b.line; });
  // A reason may quote the file ("the supply field 'x'"): escaped, it stays on its line.
  for (const auto& e : errors) out += "line " + std::to_string(e.line) + ": error: " + escapedText(e.reason) + "\n";
  report.runs = errors.empty();
  if (report.runs) {
    out += "The file would run.\n";
    return report;
  }
  // A run reads the whole file before its first step; an error on a line that
  // is no step (a field that is not a number, the 1001st step) ends the
  // reading, one on a step line ends the run when that step comes.
  auto isStep = [&](int line) { return std::find(stepLines.begin(), stepLines.end(), line) != stepLines.end(); };
  auto reading = std::find_if(errors.begin(), errors.end(), [&](const auto& e) { return !isStep(e.line); });
  const std::string count = std::to_string(errors.size()) + (errors.size() == 1 ? " error" : " errors");
  if (reading != errors.end())
    out += count + ": a run would end reading line " + std::to_string(reading->line) + ", before its first step.\n";
  else
    out += count + ": a run would end at the step on line " + std::to_string(errors.front().line) +
           ", in its first repeat.\n";
  return report;
}

int checkSequenceFile(const Options& options, std::ostream& out, std::ostream& err) {
  const std::string& name = options.checkSequence;
  const PathMapper paths(options.driveRoot.empty() ? PathMapper::defaultDriveRoot()
                                                   : pathFromUtf8(options.driveRoot));
  const std::filesystem::path path = paths.map(name);
  std::string where = "the sequence file " + escapedName(name);
  if (const std::string shown = utf8FromPath(path); shown != name) where += " (" + escapedName(shown) + ")";

  // Only an ordinary file of sensible size is read: a device or a pipe could
  // be read for ever.
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    err << "tavrin: cannot read " << where << ": not an ordinary file\n";
    return 2;
  }
  if (auto size = std::filesystem::file_size(path, ec); !ec && size > kLargestFile) {
    err << "tavrin: cannot read " << where << ": " << size << " bytes is too large for a sequence file\n";
    return 2;
  }
  std::string contents;
  if (FileResult r = readWholeFile(path, contents); !r.ok()) {
    err << "tavrin: cannot read " << where << ": " << r.detail << '\n';
    return 2;
  }
  const double stepTime = options.stepTimeMs ? *options.stepTimeMs : kDefaultStepTimeMs;
  SequenceReport report = sequenceReport(contents, name, stepTime);
  out << report.text;
  out.flush();
  return report.runs ? 0 : 1;
}

}  // namespace tavrin
