#include "shell/config.h"

#include <algorithm>
#include <system_error>

#include "core/numbers.h"

namespace tavrin {

std::optional<std::string> configFailureMessage(FileErrorCode code) {
  switch (code) {
    case FileErrorCode::BadFileName: return "Bad Config File. Full Scale 1024mA";
    case FileErrorCode::FileNotFound: return "Config File -Tavrin.ini- Not Found. Full Scale 1024mA";
    case FileErrorCode::FileAlreadyOpen: return "File Already Open. Full Scale 1024mA";
    case FileErrorCode::DiskNotReady: return "Disk Not Ready. Full Scale 1024mA";
    default: return std::nullopt;
  }
}

void ConfigLoader::LoadConfig() {
  f_.ConfigPath = "C:\\Windows\\Tavrin.ini";
  auto path = paths_.map(f_.ConfigPath);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) || std::filesystem::is_directory(path, ec)) {
    f_.FullScalemA = 1024;
    f_.appendText(f_.Info, "  1024mA Full Scale ");
    return;
  }
  std::string contents;
  auto r = readWholeFile(path, contents);
  if (!r.ok()) {
    if (auto message = configFailureMessage(r.code)) f_.toolkit.messageBox(*message);
    return;
  }
  std::size_t lineNo = 0;
  for (const auto& line : configLines(std::move(contents))) {
    if (line) {
      f_.FullScalemA = *line;
      f_.appendText(f_.Info, "  " + std::to_string(f_.FullScalemA) + "mA Full Scale");
    }
    f_.toolkit.doEvents();
    // A turn per block of lines, so a signal is heard in a huge file too.
    if (++lineNo % 4096 == 0) f_.toolkit.yieldTurn();
  }
}

std::vector<std::optional<std::int16_t>> configLines(std::string contents) {
  // A file written with line feeds only (as Linux editors do) has no line
  // ends otherwise; read it by its line feeds rather than ignore it whole.
  if (contents.find('\r') == std::string::npos) std::replace(contents.begin(), contents.end(), '\n', '\r');
  std::vector<std::optional<std::int16_t>> out;
  for (std::string_view line : splitLines(contents)) {
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (line.empty() || line[0] == ';') {
      out.emplace_back();
      continue;
    }
    auto v = wholeNumber(line);
    auto fullScale = v ? toInt16(*v) : std::nullopt;
    if (!fullScale) break;  // not a number, or beyond 16 bits: ends quietly
    out.push_back(fullScale);
  }
  return out;
}

}  // namespace tavrin
