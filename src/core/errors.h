// Run-time errors of the program's procedures: a box that must hold a number
// and does not, or arithmetic that leaves its range. A procedure throws one and
// whoever started it decides what the operator sees.
#pragma once

#include <stdexcept>
#include <string>

namespace tavrin {

struct RunError : std::runtime_error {
  explicit RunError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace tavrin
