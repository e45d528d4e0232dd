#include "cli/tracediff.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <streambuf>

#include "core/escape.h"
#include "core/numbers.h"

namespace tavrin {

namespace {
// The next line, without its LF and a CR before it; false at the end of the
// trace. A line past kLongestTraceLine keeps its start and sets `cut`.
bool nextLine(std::istream& in, std::string& line, bool& cut) {
  using Traits = std::char_traits<char>;
  line.clear();
  cut = false;
  std::streambuf* buf = in.rdbuf();
  bool any = false;
  for (auto c = buf->sbumpc(); !Traits::eq_int_type(c, Traits::eof()); c = buf->sbumpc()) {
    any = true;
    if (c == '\n') break;
    if (line.size() < kLongestTraceLine)
      line += Traits::to_char_type(c);
    else
      cut = true;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// "12.5 FT_Write 02 07 -> 0": the time, and the rest from the first blank.
bool split(const std::string& line, double& ms, std::string& rest) {
  auto blank = line.find(' ');
  if (blank == std::string::npos) return false;
  auto t = wholeNumber(line.substr(0, blank));
  if (!t) return false;
  ms = *t;
  rest = line.substr(blank + 1);
  return true;
}
// The quoted device text of a listing or open line replaced by "(device)", so two
// boards compare alike: FT_ListDevices 0 40000001 -> 0 "X", FT_OpenEx "X" 2 -> 0.
std::string withoutDeviceText(std::string rest) {
  if (rest.rfind("FT_ListDevices ", 0) == 0 && rest.find(" 4000000") != std::string::npos) {
    if (auto q = rest.find('"'); q != std::string::npos) rest = rest.substr(0, q) + "\"(device)\"";
  } else if (rest.rfind("FT_OpenEx \"", 0) == 0) {
    if (auto end = rest.rfind("\" "); end != std::string::npos && end > 10)
      rest = "FT_OpenEx \"(device)\"" + rest.substr(end + 1);
  }
  return rest;
}
}  // namespace

std::string msText(double ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", ms);
  return buf;
}

TraceComparison compareTraces(std::istream& a, std::istream& b, const TraceTolerance& tolerance) {
  TraceComparison r;
  std::string la, lb;
  bool cutA = false, cutB = false;
  for (std::size_t i = 0;; ++i) {
    const bool hasA = nextLine(a, la, cutA), hasB = nextLine(b, lb, cutB);
    if (!hasA && !hasB) {
      r.same = true;
      r.lines = i;
      return r;
    }
    auto differ = [&](std::string why) {
      auto shown = [](bool has, const std::string& line, bool cut) {
        return !has ? std::string("(end)") : cut ? line.substr(0, 100) + "..." : line;
      };
      r.line = i + 1;
      r.a = shown(hasA, la, cutA);
      r.b = shown(hasB, lb, cutB);
      r.why = std::move(why);
      r.lines = i;
      return r;
    };
    if (!hasA || !hasB) return differ("one trace ends here");
    double ta = 0, tb = 0;
    std::string ra, rb;
    if (cutA || cutB || !split(la, ta, ra) || !split(lb, tb, rb)) return differ("not a trace line (TIME_MS TEXT)");
    if (tolerance.anyDevice) {
      ra = withoutDeviceText(std::move(ra));
      rb = withoutDeviceText(std::move(rb));
    }
    if (ra != rb) return differ("the operations differ");
    const double diff = std::fabs(ta - tb);
    r.largestDiffMs = std::max(r.largestDiffMs, diff);
    const double allowed = tolerance.ms + tolerance.fraction * std::max(ta, tb);
    if (diff > allowed)
      return differ("the times differ by " + msText(diff) + " ms, more than the " +
                    msText(allowed) + " ms allowed");
  }
}
std::string comparisonText(const TraceComparison& c, const std::string& nameA, const std::string& nameB) {
  if (c.same)
    return "traces match: " + std::to_string(c.lines) + " lines, times within " + msText(c.largestDiffMs) + " ms\n";
  return "traces differ at line " + std::to_string(c.line) + ": " + c.why + "\n  " + escapedName(nameA) + ": " +
         escapedText(c.a) + "\n  " + escapedName(nameB) + ": " + escapedText(c.b) + "\n";
}

}  // namespace tavrin
