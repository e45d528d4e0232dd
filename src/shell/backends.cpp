#include "shell/backends.h"

#include "link/d2xx_library.h"

namespace tavrin {

namespace {
const std::vector<Backend> kBackends = {
    {"d2xx", "the FTDI D2XX library, loaded at run time",
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       std::string path = o.d2xxLibrary.empty() ? D2xxLibrary::defaultPath() : o.d2xxLibrary;
       return D2xxLibrary::load(path, whyNot);
     }},
    {"sim", "the simulated drive board",
     [](const BackendOptions& o, std::function<double()> clock, std::string&) -> std::unique_ptr<Link> {
       return std::make_unique<sim::SimBoard>(o.sim, std::move(clock));
     }},
};
}  // namespace

const std::vector<Backend>& backends() { return kBackends; }

const Backend* findBackend(const std::string& name) {
  for (const auto& b : kBackends)
    if (name == b.name) return &b;
  return nullptr;
}

}  // namespace tavrin
