// The table of link backends, chosen by --board. Each says whether it can run
// here; one that cannot leaves a reason for Info and the program goes on
// without a device.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "sim/sim_board.h"

namespace tavrin {

struct BackendOptions {
  std::string board = "d2xx";
  std::string d2xxLibrary;  // empty: the vendor's usual name
  sim::SimConfig sim;
};

struct Backend {
  const char* name;
  const char* about;
  // Returns the backend, or null with the reason it cannot run here.
  std::function<std::unique_ptr<Link>(const BackendOptions&, std::function<double()> clockMs, std::string& whyNot)>
      open;
};

const std::vector<Backend>& backends();
const Backend* findBackend(const std::string& name);

}  // namespace tavrin
