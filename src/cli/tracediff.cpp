#include "cli/tracediff.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "core/numbers.h"

namespace tavrin {

namespace {
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
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

TraceComparison compareTraces(const std::string& a, const std::string& b, const TraceTolerance& tolerance) {
  TraceComparison r;
  const auto la = lines(a), lb = lines(b);
  const std::size_t n = std::max(la.size(), lb.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto differ = [&](std::string why) {
      r.line = i + 1;
      r.a = i < la.size() ? la[i] : "(end)";
      r.b = i < lb.size() ? lb[i] : "(end)";
      r.why = std::move(why);
      r.lines = i;
      return r;
    };
    if (i >= la.size() || i >= lb.size()) return differ("one trace ends here");
    double ta = 0, tb = 0;
    std::string ra, rb;
    if (!split(la[i], ta, ra) || !split(lb[i], tb, rb)) return differ("not a trace line (TIME_MS TEXT)");
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
  r.same = true;
  r.lines = n;
  return r;
}

}  // namespace tavrin
