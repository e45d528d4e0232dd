#include "procedures/log_file.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/escape.h"
#include "core/numbers.h"

namespace tavrin {

std::vector<std::string> logHeader(const LocalDateTime& when, const std::string& intervalText) {
  // The box may hold anything, line breaks included; the line keeps what is
  // no control character, so it stays one line, and a step time the number
  // rule reads past blanks ("50" and a line break, "5<tab>0") reads the same
  // from the log.
  std::string interval = intervalText;
  std::erase_if(interval, isControlByte);
  return {logDateStamp(when), quotedLine("Time Interval: " + interval + "mS"), quotedLine("V, Hz, mA")};
}

std::string keepEarlierFile(const PathMapper& paths, const std::string& name, FileResult& failed) {
  std::optional<std::string> keptAs;
  failed = keepEarlier(paths, name, keptAs);
  return keptAs ? "  Earlier " + name + " kept as " + *keptAs : std::string();
}

FileResult startLogFile(const std::filesystem::path& path, const LocalDateTime& when,
                        const std::string& intervalText) {
  return writeLines(path, logHeader(when, intervalText));
}

std::string nextLogName(const std::string& name) {
  // The folder is kept as it is: a hyphen or ".txt" in it ("C:\my-dir\") is
  // not part of the numbering, or the next log would leave its folder.
  std::size_t slash = name.find_last_of("\\/");
  std::size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
  std::string folder = name.substr(0, fileStart);
  std::string file = name.substr(fileStart);
  for (std::size_t at; (at = file.find(".txt")) != std::string::npos;) file.erase(at, 4);

  std::size_t hyphen = file.rfind('-');
  if (hyphen == std::string::npos || hyphen + 1 == file.size()) return folder + file + "-1.txt";
  // The number after the hyphen counts on past 32767 as far as a 32-bit whole
  // number goes; a number that cannot grow further starts a new "-1" series
  // after it rather than go back to a log already written.
  double next = roundHalfEven(leadingNumber(std::string_view(file).substr(hyphen + 1)) + 1);
  if (!std::isfinite(next) || next > std::numeric_limits<std::int32_t>::max() ||
      next < std::numeric_limits<std::int32_t>::min())
    return folder + file + "-1.txt";
  return folder + file.substr(0, hyphen) + "-" + std::to_string(static_cast<std::int32_t>(next)) + ".txt";
}

}  // namespace tavrin
