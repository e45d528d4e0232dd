#include "core/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "core/escape.h"
#include "core/files.h"
#include "core/numbers.h"

namespace tavrin {

namespace {

// A line's blanks, and the CR of a CR LF line end.
std::string_view bare(std::string_view s) { return trimmed(s, " \t\r"); }

// "[name]" gives name; anything else nothing.
bool sectionName(std::string_view line, std::string& name) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  name = std::string(bare(line.substr(1, line.size() - 2)));
  return true;
}

bool isComment(std::string_view line) { return line.empty() || line[0] == '#' || line[0] == ';'; }

// Lines end with LF or CR LF (the CR is dropped with the blanks).
std::vector<std::string> lines(std::string_view contents) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < contents.size()) {
    const std::size_t end = std::min(contents.find('\n', at), contents.size());
    out.emplace_back(contents.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

}  // namespace

SettingsFile parseSettings(std::string_view contents, std::string_view section,
                           const std::vector<std::string>& known) {
  SettingsFile out;
  std::string current(section);  // lines before any section header count as ours
  int lineNo = 0;
  for (const std::string& raw : lines(contents)) {
    ++lineNo;
    const std::string_view line = bare(raw);
    std::string name;
    if (isComment(line)) continue;
    if (sectionName(line, name)) {
      current = name;
      continue;
    }
    if (current != section) continue;
    const auto eq = line.find('=');
    const std::string key(bare(line.substr(0, eq == std::string_view::npos ? 0 : eq)));
    if (eq == std::string_view::npos || key.empty()) {
      out.problems.push_back("line " + std::to_string(lineNo) + ": not 'key = value': " + escapedName(std::string(line)));
    } else if (std::find(known.begin(), known.end(), key) == known.end()) {
      std::string keys;
      for (const auto& k : known) keys += (keys.empty() ? "" : ", ") + k;
      out.problems.push_back("line " + std::to_string(lineNo) + ": unknown key '" + escapedName(key) + "' (known: " +
                             keys + ")");
    } else {
      out.values[key] = std::string(bare(line.substr(eq + 1)));
    }
  }
  return out;
}

bool writeSettings(const std::filesystem::path& file, std::string_view section,
                   const std::map<std::string, std::string>& values, std::string& error) {
  std::string before;
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    if (FileResult r = readWholeFile(file, before); !r.ok()) {
      error = "cannot read " + utf8FromPath(file) + " (" + r.detail + ")";
      return false;
    }
  }
  // Every line of other sections and every comment stays; our section's
  // keys are written anew at its place (or at the end), with the file's own
  // line ends.
  const std::string eol = before.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::string out, current(section), ours;
  for (const auto& [k, v] : values) ours += k + " = " + v + eol;
  bool written = false;
  for (std::string raw : lines(before)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string_view line = bare(raw);
    std::string name;
    if (sectionName(line, name)) {
      current = name;
      if (name == section && !written) {
        out += raw + eol + ours;
        written = true;
        continue;
      }
    } else if (current == section && !isComment(line)) {
      continue;  // a value of ours: replaced
    }
    out += raw + eol;
  }
  if (!written) out += (out.empty() ? "" : eol) + "[" + std::string(section) + "]" + eol + ours;
  std::filesystem::create_directories(file.parent_path(), ec);
  const std::filesystem::path temp = file.string() + ".new";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f << out;
    f.flush();
    if (!f) {
      error = "cannot write " + utf8FromPath(temp) + " (" + std::strerror(errno) + ")";
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::rename(temp, file, ec);
  if (ec) {
    error = "cannot write " + utf8FromPath(file) + " (" + ec.message() + ")";
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace tavrin
