#include "sim/faults.h"

namespace tavrin::sim {

const FaultInfo* findFault(std::string_view name) {
  for (const auto& f : kFaults)
    if (f.name == name) return &f;
  return nullptr;
}

namespace {
// The name as --sim-fault takes it: "open", "unplug=N".
std::string faultUsage(const FaultInfo& fault) { return std::string(fault.name) + (fault.counted ? "=N" : ""); }
}  // namespace

const std::vector<std::string>& faultNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    out.reserve(kFaults.size());
    for (const auto& f : kFaults) out.push_back(faultUsage(f));
    return out;
  }();
  return names;
}

std::vector<std::string> faultHelpLines() {
  std::vector<std::string> out;
  out.reserve(kFaults.size());
  for (const auto& f : kFaults) {
    std::string line = faultUsage(f);
    line.append(line.size() < 12 ? 12 - line.size() : 1, ' ');
    out.push_back(line + std::string(f.help));
  }
  return out;
}

std::string servableFaultsText() {
  std::vector<std::string_view> names;
  for (const auto& f : kFaults)
    if (f.servable) names.push_back(f.name);
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace tavrin::sim
