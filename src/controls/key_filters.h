// Key filters of the numeric entry boxes. Each sees a key's character code
// before the box inserts it and returns the code to insert, or 0 to discard.
#pragma once

namespace tavrin {

inline constexpr int kBackspace = 8, kEnter = 13;

// Frequency box and the three sweep boxes: digits and Backspace. (Enter in the
// frequency box commits the entry; its handler deals with that before this.)
int digitsOnlyFilter(int key);
// Phase box: digits, "." and Backspace; "," becomes ".".
int phaseFilter(int key);

}  // namespace tavrin
