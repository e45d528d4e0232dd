// Reads the program's sweep and current logs, also those of earlier versions:
// a date line between '#', the quoted "Time Interval: 50mS" and "V, Hz, mA"
// lines, one "1.3,44000,57" line per reading (volts, hertz, mA) and, in a
// sweep log, the quoted result line. Lines may end with CR LF, CR or LF.
// Whatever cannot be read is named by its line number and skipped; the rest
// is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/resonance.h"

namespace tavrin {

struct LogReading {
  double volts = 0, hz = 0, mA = 0;
  std::size_t line = 0;  // 1-based, as an editor numbers it
};

struct BadLine {
  std::size_t line = 0;
  std::string why;  // e.g. "field 2 (Hz) is not a number: \"44x00\""
};

struct LogContents {
  std::string dateTime;              // the first line between its '#', as written
  std::optional<double> intervalMs;  // from "Time Interval: 50mS"
  std::vector<LogReading> readings;
  std::string result;                // a sweep log's last quoted line, without its quotes
  std::vector<BadLine> bad;

  // A sweep log has its result line, or (cut short before it) frequencies
  // that only rise or only fall; a current log has neither.
  bool isSweep() const;
  // The readings as (frequency, current, supply), for the resonance figures.
  std::vector<SweepPoint> sweepPoints() const;
  // A current log holds no times: its readings are taken as one logged
  // interval apart (a second without one), the first one interval after the
  // header's date, as timed logging reads them. Milliseconds since that date.
  double intervalOrDefaultMs() const { return intervalMs.value_or(1000); }
  double readingMs(std::size_t i) const { return static_cast<double>(i + 1) * intervalOrDefaultMs(); }
};

// Larger files are refused: a log of a week of tracking is some 60 MB.
inline constexpr std::uintmax_t kMaxLogBytes = 256ull << 20;

LogContents parseLog(std::string_view text);

// Reads and parses a log file. Returns nullopt with the reason in `error` when
// the file cannot be read at all (absent, not an ordinary file, too large).
std::optional<LogContents> readLog(const std::filesystem::path& path, std::string& error);

}  // namespace tavrin
