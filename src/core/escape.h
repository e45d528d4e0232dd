// Text from a file or a command line, made safe to print: a control character
// never reaches a terminal or a log raw, and what is printed stays on its line.
#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// The bytes that are escaped (or, where a text is cleaned, dropped): those
// below 0x20 and DEL (0x7F). Bytes from 0x80 up (UTF-8) are text.
inline bool isControlByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

// The text on one line: line feed as \n, carriage return as \r, tab as \t,
// the backslash as \\, every other control byte as \xNN (two upper-case hex
// digits: \x1B, \x7F). Anything else, UTF-8 included, is kept as it is, so the
// result reads back unambiguously. For text quoted from a file's contents.
std::string escapedText(std::string_view text);

// A name a person typed (a file name, a command-line word, a message built
// around one): as it is when it holds no control byte, so that a Windows path
// ("C:\seq.txt") keeps its single backslashes; otherwise escapedText of it
// whole, its backslashes doubled so that they cannot be read as escapes.
std::string escapedName(std::string_view text);

}  // namespace tavrin
