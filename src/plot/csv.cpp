#include "plot/csv.h"

#include <cmath>

#include "core/escape.h"
#include "core/numbers.h"

namespace tavrin {

namespace {

// Whole numbers (hertz, milliamperes, most times) without the general path.
void appendNumber(std::string& out, double v) {
  if (v == std::floor(v) && std::abs(v) < 1e15)
    out += std::to_string(static_cast<long long>(v));
  else
    out += shortestDecimal(v);
}

void appendRow(std::string& out, std::initializer_list<double> values) {
  bool first = true;
  for (double v : values) {
    if (!first) out += ',';
    first = false;
    appendNumber(out, v);
  }
  out += "\r\n";
}

std::string table(std::string_view header, std::size_t rows, const std::vector<std::string>& comments,
                  const auto& row) {
  std::string out;
  out.reserve(header.size() + rows * 28 + 2);
  out.append(header).append("\r\n");
  for (std::size_t i = 0; i < rows; ++i) row(out, i);
  for (const std::string& c : comments) out += csvField("# " + escapedName(c)) + "\r\n";
  return out;
}

}  // namespace

std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string sweepCsv(const std::vector<SweepPoint>& points, const std::vector<std::string>& comments) {
  return table(kSweepCsvHeader, points.size(), comments, [&](std::string& out, std::size_t i) {
    appendRow(out, {points[i].volts, points[i].hz, points[i].mA});
  });
}

std::string timeCsv(const TimeSeries& series, const std::vector<std::string>& comments) {
  return table(kTimeCsvHeader, series.size(), comments, [&](std::string& out, std::size_t i) {
    const TimeSample& s = series[i];
    appendRow(out, {s.ms / 1000, s.poutTenths / 10.0, static_cast<double>(s.hz), static_cast<double>(s.mA)});
  });
}

std::string logCsv(const LogContents& log) {
  std::vector<std::string> comments;
  const auto& r = log.readings;
  if (log.isSweep()) {
    if (!log.dateTime.empty()) comments.push_back("logged " + log.dateTime);
    if (!log.result.empty()) comments.push_back(log.result);
    return sweepCsv(log.sweepPoints(), comments);
  }
  comments.push_back("time_s counts from " + (log.dateTime.empty() ? std::string("the log's start") : log.dateTime) +
                     "; the log holds no times: its readings are taken as " +
                     shortestDecimal(log.intervalOrDefaultMs()) + " ms apart");
  return table(kTimeCsvHeader, r.size(), comments, [&](std::string& out, std::size_t i) {
    appendRow(out, {log.readingMs(i) / 1000, r[i].volts, r[i].hz, r[i].mA});
  });
}

}  // namespace tavrin
