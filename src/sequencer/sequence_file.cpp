#include "sequencer/sequence_file.h"

#include <cmath>

#include "core/files.h"
#include "core/numbers.h"

namespace tavrin {

std::vector<std::string> sequenceLines(std::string_view contents) {
  if (contents.find('\r') != std::string_view::npos) return splitLines(contents);
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    std::size_t end = contents.find('\n', pos);
    if (end == std::string_view::npos) end = contents.size();
    lines.emplace_back(contents.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::optional<SequenceStep> readSequenceLine(std::string_view line, std::string& whyNot) {
  whyNot.clear();
  if (!line.empty() && line[0] == ';') return std::nullopt;
  std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  auto field = [&](std::string_view text, const char* name) -> std::optional<std::int16_t> {
    auto v = wholeNumber(text);
    auto w = v ? toInt16(*v) : std::nullopt;
    if (!w) whyNot = std::string("the ") + name + " field '" + std::string(text) + "' is not a whole number from -32768 to 32767";
    return w;
  };
  auto supply = field(line.substr(0, comma), "supply");
  if (!supply) return std::nullopt;
  auto duration = field(line.substr(comma + 1), "duration");
  if (!duration) return std::nullopt;
  return SequenceStep{*supply, *duration == 0 ? std::int16_t{1} : *duration};
}

std::optional<SupplySetting> supplySetting(std::int16_t supplyField) {
  if (supplyField == -32768) return std::nullopt;
  const int v = std::abs(supplyField);
  if (v < 1350) return SupplySetting{0, 13};
  if (v > 5700) return SupplySetting{180, 57};
  auto code = static_cast<std::uint8_t>(roundHalfEven((v - 1350) / 4350.0 * 180.0));
  return SupplySetting{code, v / 100};
}

SequenceCheck checkSequence(std::string_view contents) {
  SequenceCheck check;
  int lineNo = 0;
  for (const auto& line : sequenceLines(contents)) {
    ++lineNo;
    std::string why;
    auto step = readSequenceLine(line, why);
    if (!why.empty()) {
      check.errors.push_back({lineNo, why});
      continue;
    }
    if (!step) continue;
    if (check.steps.size() == kMaxSequenceSteps) {
      check.errors.push_back({lineNo, "more than 1000 steps"});
      break;
    }
    if (!supplySetting(step->supply)) check.errors.push_back({lineNo, "the supply -32768 mV is out of range"});
    check.steps.push_back({lineNo, *step});
  }
  return check;
}

}  // namespace tavrin
