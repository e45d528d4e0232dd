// The window on screen: one widget per control model, placed in twips / 15.
// Every operator event goes to the event table (Mainform); nothing is decided
// here. Before each pass of the event pump and after each forwarded event the
// widgets are refreshed from their models.
#pragma once

#include <QMainWindow>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "form/control.h"
#include "form/mainform.h"

class QLineEdit;
class QKeyEvent;

namespace tavrin {

class ArrowButton;
class Program;
class QtToolkit;

class MainWindow : public QMainWindow {
 public:
  // Hooks itself into the toolkit (refresh before every pump pass, parent of
  // message boxes and dialogs) until it is destroyed.
  MainWindow(Program& program, QtToolkit& toolkit);
  ~MainWindow() override;

  // Shows the window, then runs start-up (from inside the event loop): the
  // window is up before start-up's first wait, and the operator's events are
  // delivered during its waits.
  void load();

  // Copies every model into its widget; touches only what changed.
  void refresh();

  // The widget that shows a control; null for timers, dialogs and menus.
  QWidget* widgetFor(const Control& c) const;
  // Ends every press-and-hold in progress, as a release would.
  void endHolds();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  // One control and its widget, with what the widget shows now, so that a
  // refresh costs a few comparisons when nothing changed.
  struct View {
    Control* control = nullptr;
    QWidget* widget = nullptr;
    QFont font;  // the model's font before fitting
    bool shown = false;  // false until the first refresh
    std::string text;
    bool enabled = true;
    Rgb forecolor, backcolor;
    int value = 0;
    bool isDefault = false;
  };

  void build();
  QWidget* createWidget(View& v, QWidget* parent);
  QLineEdit* createTextBox(View& v, QWidget* parent);
  void createMenu(const Control& c);
  void setTabOrder();
  void refreshView(View& v);
  void refreshColors(View& v);
  void refitCaption(View& v);

  // Runs one handler call of the event table, then refreshes. An exception a
  // handler lets out is reported here: none may cross the Qt event loop.
  template <class F>
  void forward(const Control& c, const char* event, F&& call);
  template <class F>
  void forward(const std::string& source, const char* event, F&& call);
  void reportFailure(const std::string& source, const char* event, const char* what);

  bool boxKey(View& v, QKeyEvent* e);
  bool boxEvent(View& v, QEvent* e);
  void boxEdited(View& v, const QString& text);

  Program& program_;
  Mainform& form_;
  QtToolkit& toolkit_;
  std::deque<View> views_;
  std::unordered_map<const QObject*, View*> byWidget_;
  std::vector<ArrowButton*> arrows_;
  std::string shownCaption_;
};

}  // namespace tavrin
