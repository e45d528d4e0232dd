#include "core/escape.h"

#include <algorithm>

namespace tavrin {

std::string escapedText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (isControlByte(c)) {
          const auto b = static_cast<unsigned char>(c);
          out += {'\\', 'x', kHex[b >> 4], kHex[b & 0xF]};
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string escapedName(std::string_view text) {
  if (std::none_of(text.begin(), text.end(), isControlByte)) return std::string(text);
  return escapedText(text);
}

}  // namespace tavrin
