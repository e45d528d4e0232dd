// Readings as comma-separated values for a spreadsheet (RFC 4180): a header
// row, one row per reading, then comment rows (one field beginning "# ") for
// what the numbers alone do not say. A field holding a comma, a double quote,
// CR or LF is quoted, its quotes doubled; rows end with CR LF; numbers are
// plain decimals with a period, whatever the system's number settings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plot/log_reader.h"
#include "plot/resonance.h"
#include "plot/time_series.h"

namespace tavrin {

inline constexpr std::string_view kSweepCsvHeader = "supply_V,frequency_Hz,current_mA";
inline constexpr std::string_view kTimeCsvHeader = "time_s,supply_V,frequency_Hz,current_mA";

std::string csvField(std::string_view text);

// A sweep's readings in the order they were read, then the comments (escaped
// as escapedName escapes, so each stays one row).
std::string sweepCsv(const std::vector<SweepPoint>& points, const std::vector<std::string>& comments);
// The time view's readings, time_s counted from the series' zero.
std::string timeCsv(const TimeSeries& series, const std::vector<std::string>& comments);
// A log as its view shows it: a sweep log with its date and result as
// comments; a current log with the times readingMs() gives it, counted from
// the header's date, which a comment names.
std::string logCsv(const LogContents& log);

}  // namespace tavrin
