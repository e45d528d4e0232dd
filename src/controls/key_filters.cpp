#include "controls/key_filters.h"

namespace tavrin {

int digitsOnlyFilter(int key) {
  if ((key >= '0' && key <= '9') || key == kBackspace) return key;
  return 0;
}

int phaseFilter(int key) {
  if (key == ',') return '.';
  if (key == '.') return key;
  return digitsOnlyFilter(key);
}

}  // namespace tavrin
