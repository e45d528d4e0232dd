#include "core/option_spec.h"

#include <cmath>

#include "core/numbers.h"

namespace tavrin {

namespace {
constexpr std::size_t kHelpColumn = 24;  // where the help text starts

std::string leftColumn(const OptionInfo& o) {
  if (o.label) return o.label;
  std::string s = o.name;
  if (*o.placeholder) s += std::string(" ") + o.placeholder;
  return s;
}

std::string helpText(const OptionInfo& o) {
  std::string text = o.help;
  if (auto at = text.find("{}"); at != std::string::npos && o.detail) text.replace(at, 2, o.detail());
  return text;
}
}  // namespace

bool optionNamed(const OptionInfo& option, std::string_view word) {
  return word == option.name || (option.alias && word == option.alias);
}

bool readNumberValue(const OptionInfo& option, OptionValue& value, std::string& error) {
  auto v = wholeNumber(value.text);
  const bool isNumber = v && std::isfinite(*v);
  const bool inRange = isNumber && *v >= option.min && *v <= option.max;
  if (inRange) {
    value.number = *v;
    return true;
  }
  const std::string range = " from " + shortestDecimal(option.min) + " to " + shortestDecimal(option.max);
  error = std::string("option ") + option.name + " needs a number";
  if (option.unit)
    error += std::string(" of ") + option.unit + range;
  else if (isNumber)
    error += range;
  error += ", not '" + value.text + "'";
  return false;
}

std::string optionHelpLines(const std::vector<const OptionInfo*>& options) {
  std::string out, bare;  // bare: options without help, gathered on one line
  for (const OptionInfo* o : options) {
    const std::string help = helpText(*o);
    if (help.empty()) {
      bare += (bare.empty() ? "" : ", ") + leftColumn(*o);
      continue;
    }
    std::string line = "  " + leftColumn(*o);
    line.append(line.size() < kHelpColumn ? kHelpColumn - line.size() : 1, ' ');
    for (std::size_t start = 0;;) {
      const std::size_t end = help.find('\n', start);
      out += line + help.substr(start, end - start) + "\n";
      if (end == std::string::npos) break;
      start = end + 1;
      line.assign(kHelpColumn, ' ');
    }
  }
  if (!bare.empty()) out += "  " + bare + "\n";
  return out;
}

std::string optionFacts(const std::vector<const OptionInfo*>& options) {
  std::string out;
  for (const OptionInfo* o : options) {
    const char* path = o->kind == OptionKind::Path ? "path" : o->kind == OptionKind::Library ? "library" : "-";
    out += std::string(o->name) + (o->kind == OptionKind::Flag ? " flag " : " value ") + path + "\n";
  }
  return out;
}

}  // namespace tavrin
