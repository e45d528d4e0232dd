#include "plot/log_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "core/escape.h"
#include "core/files.h"
#include "core/numbers.h"

namespace tavrin {

namespace {


// A field quoted for a message: its first 24 bytes (never part of a UTF-8
// letter), control characters escaped.
std::string shown(std::string_view s) {
  std::size_t n = std::min<std::size_t>(s.size(), 24);
  while (n < s.size() && n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return "\"" + escapedText(s.substr(0, n)) + (n < s.size() ? "...\"" : "\"");
}

std::optional<double> number(std::string_view field) {
  field = trimmed(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
  if (ec != std::errc() || end != field.data() + field.size() || field.empty() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// "Time Interval: 50mS" gives 50; nothing when the number is not there.
std::optional<double> interval(std::string_view text) {
  constexpr std::string_view key = "Time Interval:";
  if (text.substr(0, key.size()) != key) return std::nullopt;
  text = trimmed(text.substr(key.size()));
  std::size_t digits = 0;
  while (digits < text.size() && ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) ++digits;
  auto v = number(text.substr(0, digits));
  if (v && *v > 0) return v;
  return std::nullopt;
}

// One line that is neither the date, a quoted line nor blank: a reading, or
// the reason it is not one.
std::optional<LogReading> reading(std::string_view line, std::string& why) {
  static constexpr const char* names[] = {"V", "Hz", "mA"};
  double values[3] = {};
  std::size_t field = 0, start = 0;
  for (;;) {
    const auto comma = line.find(',', start);
    const std::string_view text = line.substr(start, comma == std::string_view::npos ? line.npos : comma - start);
    if (field == 3) {
      why = "more than three fields";
      return std::nullopt;
    }
    auto v = number(text);
    if (!v) {
      why = "field " + std::to_string(field + 1) + " (" + names[field] + ") is not a number: " + shown(trimmed(text));
      return std::nullopt;
    }
    values[field++] = *v;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (field != 3) {
    why = "not three numbers (V, Hz, mA): " + shown(line);
    return std::nullopt;
  }
  // The program writes whole 32-bit hertz and milliamperes; anything beyond is
  // no reading of it, and would spoil every figure and axis.
  constexpr double kMin = -2147483648.0, kMax = 2147483647.0;
  if (values[1] < 0 || values[1] > kMax || values[2] < kMin || values[2] > kMax) {
    why = std::string("field ") + (values[1] < 0 || values[1] > kMax ? "2 (Hz)" : "3 (mA)") +
          " is out of range: " + shown(line);
    return std::nullopt;
  }
  LogReading r;
  r.volts = values[0];
  r.hz = values[1];
  r.mA = values[2];
  return r;
}

}  // namespace

bool LogContents::isSweep() const {
  if (!result.empty()) return true;
  if (readings.size() < 3) return false;
  bool rising = true, falling = true;
  for (std::size_t i = 1; i < readings.size(); ++i) {
    rising = rising && readings[i].hz > readings[i - 1].hz;
    falling = falling && readings[i].hz < readings[i - 1].hz;
  }
  return rising || falling;
}

std::vector<SweepPoint> LogContents::sweepPoints() const {
  std::vector<SweepPoint> points;
  points.reserve(readings.size());
  for (const LogReading& r : readings) points.push_back({r.hz, r.mA, r.volts});
  return points;
}

LogContents parseLog(std::string_view text) {
  LogContents log;
  std::size_t lineNumber = 0, pos = 0;
  while (pos < text.size()) {
    ++lineNumber;
    const auto end = text.find_first_of("\r\n", pos);
    const std::string_view raw = text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
    if (end == std::string_view::npos) {
      pos = text.size();
      // Every line the program writes ends with CR LF: a last line without its
      // end was cut off as it was written (a crash, a pulled cable), and its
      // last number may be short of digits.
      if (!trimmed(raw).empty()) log.bad.push_back({lineNumber, "cut off (no line end): " + shown(raw)});
      break;
    }
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;

    const std::string_view line = trimmed(raw);
    if (line.empty()) continue;
    if (line.find('\0') != std::string_view::npos) {
      log.bad.push_back({lineNumber, "unreadable bytes"});
      continue;
    }
    if (line.front() == '#') {
      if (log.dateTime.empty() && log.readings.empty()) log.dateTime = std::string(trimmed(line.substr(1, line.find('#', 1) - 1)));
      continue;
    }
    if (line.front() == '"') {
      std::string_view inner = line.substr(1);
      if (!inner.empty() && inner.back() == '"') inner.remove_suffix(1);
      if (auto ms = interval(inner)) {
        log.intervalMs = ms;
      } else if (inner != "V, Hz, mA") {
        log.result = std::string(inner);  // a sweep's result; the last one counts
      }
      continue;
    }
    std::string why;
    if (auto r = reading(line, why)) {
      r->line = lineNumber;
      log.readings.push_back(*r);
    } else {
      log.bad.push_back({lineNumber, why});
    }
  }
  return log;
}

std::optional<LogContents> readLog(const std::filesystem::path& path, std::string& error) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    error = "no such file";
    return std::nullopt;
  }
  // A FIFO or a device would block or never end.
  if (!std::filesystem::is_regular_file(status)) {
    error = "not an ordinary file";
    return std::nullopt;
  }
  if (const auto size = std::filesystem::file_size(path, ec); !ec && size > kMaxLogBytes) {
    error = "larger than " + std::to_string(kMaxLogBytes >> 20) + " MB";
    return std::nullopt;
  }
  std::string text;
  if (FileResult r = readWholeFile(path, text); !r.ok()) {
    error = r.detail.empty() ? "cannot be read" : r.detail;
    return std::nullopt;
  }
  return parseLog(text);
}

}  // namespace tavrin
