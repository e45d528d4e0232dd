// The sweep and current log files: their three header lines and the name the
// next sweep log takes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/files.h"

namespace tavrin {

// Date and time, the step time in ms as the operator typed it, and the columns:
//   #2010-07-26 14:03:05#
//   "Time Interval: 50mS"
//   "V, Hz, mA"
std::vector<std::string> logHeader(const LocalDateTime& when, const std::string& intervalText);

// Empties the log (creating it if absent) and writes its header, in one go.
FileResult startLogFile(const std::filesystem::path& path, const LocalDateTime& when,
                        const std::string& intervalText);

// Before a log or record that holds bytes is emptied: keeps it under its
// kept-copy name (core/files.h). Returns the note for the end of Info naming
// the copy ("  Earlier C:\stator-1.txt kept as C:\stator-1~1.txt"), empty when
// there was nothing to keep or the move failed (then `failed` says why, and the
// file must not be emptied).
std::string keepEarlierFile(const PathMapper& paths, const std::string& name, FileResult& failed);

// A text line of a log: the text between double quotation marks.
inline std::string quotedLine(const std::string& text) { return "\"" + text + "\""; }

// The name proposed for the next sweep log: "C:\stator-1.txt" gives
// "C:\stator-2.txt", "C:\data.txt" gives "C:\data-1.txt". Only the file name
// is looked at, never its folder.
std::string nextLogName(const std::string& name);

}  // namespace tavrin
