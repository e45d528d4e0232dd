// The board chooser (Ctrl+B; it also opens by itself when start-up found no
// board in the window): every board each backend sees, or why it sees none,
// as --list-boards says it, the simulated board last. Choosing one saves it
// in the configuration file and starts the program again on it.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "shell/backends.h"

class QListWidget;
class QPushButton;

namespace tavrin {

class BoardChooser : public QDialog {
 public:
  // `current` gives the libraries to look through and the port given; `chosen`
  // hears the board chosen (its backend and, for a serial port, its path),
  // once the configuration file holds it.
  BoardChooser(const BackendOptions& current, std::function<void(const BackendOptions&)> chosen,
               QWidget* parent = nullptr);

  QListWidget* list() const { return list_; }
  // Saves the selected board and tells `chosen`; false with a message box
  // when the file cannot be written.
  bool choose();

 private:
  void fill();

  BackendOptions current_;
  std::function<void(const BackendOptions&)> chosen_;
  std::vector<BackendOptions> boards_;  // one a selectable row
  QListWidget* list_ = nullptr;
  QPushButton* use_ = nullptr;
};

// The command line of the program started again on the chosen board: the
// original words without those naming a board (--board, --port, the
// libraries, --no-config), which the configuration file now holds.
QStringList restartArguments(const QStringList& original);

}  // namespace tavrin
