// A window control as a plain model: what the operator sees of it and what
// the program reads and writes. The Qt view draws these; scripts dump them.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

enum class ControlKind { TextBox, CommandButton, CheckBox, Label, Image, Timer, Line, Picture, FileDialog, Menu };

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

namespace colors {
inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb red{255, 0, 0};
inline constexpr Rgb darkGrey{64, 64, 64};
inline constexpr Rgb buttonFace{240, 240, 240};  // the window background
}  // namespace colors

struct FontSpec {
  std::string family = "MS Sans Serif";
  double pointSize = 8.25;
  bool bold = false;
};

struct Control {
  std::string name;
  int index = -1;  // array index, -1 for a single control
  ControlKind kind = ControlKind::Label;

  // Geometry in twips (15 twips = 1 pixel).
  int left = 0, top = 0, width = 0, height = 0;
  FontSpec font;
  int tabIndex = -1;  // -1: not a tab stop

  // State. `text` is the text of a box and the caption of everything else.
  std::string text;
  bool enabled = true;
  Rgb forecolor = colors::black;
  Rgb backcolor = colors::buttonFace;
  int value = 0;               // check box: 0 unticked, 1 ticked
  long long interval = 0;      // timer, ms
  std::string fileName;        // file dialog

  // "txtDDS1(4)" for array members, the bare name otherwise.
  std::string id() const { return index < 0 ? name : name + "(" + std::to_string(index) + ")"; }
};

}  // namespace tavrin
