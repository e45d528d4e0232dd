// Run-time errors of the program's procedures: a box that must hold a number
// and does not, or arithmetic that leaves its range. A procedure throws one and
// whoever started it decides what the operator sees.
#pragma once

#include <stdexcept>
#include <string>

namespace tavrin {

enum class RunErrorCode : int { Overflow = 6, TypeMismatch = 13 };

struct RunError : std::runtime_error {
  RunErrorCode code;
  RunError(RunErrorCode c, const std::string& what) : std::runtime_error(what), code(c) {}
};

}  // namespace tavrin
