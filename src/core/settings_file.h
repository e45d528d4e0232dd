// A small settings file of `key = value` lines, as the program keeps the
// connection to the board between runs:
//
//   # comment
//   [link]
//   board = ftdi
//   port = /dev/ttyUSB0
//
// Keys are read from one section (lines before any section count as in it);
// other sections are left alone. Values are taken as they stand, without
// quotes or escapes; blanks around them are dropped.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

struct SettingsFile {
  std::map<std::string, std::string> values;  // of the section read
  std::vector<std::string> problems;          // "line 3: ..." for each line not understood
};

// Reads `section` of `contents`; a key not in `known` is a problem, as is a
// line that is no comment, section or `key = value`.
SettingsFile parseSettings(std::string_view contents, std::string_view section,
                           const std::vector<std::string>& known);

// The file with `section` holding `values` in place of what it held (other
// sections and comments kept), written whole or not at all.
bool writeSettings(const std::filesystem::path& file, std::string_view section,
                   const std::map<std::string, std::string>& values, std::string& error);

}  // namespace tavrin
