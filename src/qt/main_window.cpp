#include "qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>
#include <optional>
#include <tuple>
#include <utility>

#include "core/escape.h"
#include "qt/arrow_button.h"
#include "qt/drawings.h"
#include "qt/look.h"
#include "qt/qt_toolkit.h"
#include "shell/program.h"

namespace tavrin {

namespace {

constexpr int kTwipsPerPixel = 15;

int px(int twips) { return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel)); }

// Edges are rounded, not sizes, so neighbours that touch in twips touch on screen.
QRect placeOf(const Control& c) {
  const int x = px(c.left), y = px(c.top);
  return QRect(x, y, std::max(1, px(c.left + c.width) - x), std::max(1, px(c.top + c.height) - y));
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

// A caption as it is drawn: "&Exit" shows "Exit", "&&" one ampersand.
QString withoutMnemonic(const QString& caption) {
  QString out;
  for (int i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out += caption[i];
  }
  return out;
}

// Colours of a model before the program changes any.
Rgb defaultForecolor(const Control&) { return colors::black; }
Rgb defaultBackcolor(const Control& c) {
  return c.kind == ControlKind::TextBox ? colors::white : colors::buttonFace;
}

// The character code a key gives a box's key filter; nullopt for keys that
// carry no character (cursor keys, Delete, Home, Tab) and go to the box as they
// are. 0 for a character no filter can take (beyond 255).
std::optional<int> keyCode(const QKeyEvent* e) {
  const int key = e->key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return std::nullopt;  // moves the focus
  if (key == Qt::Key_Backspace) return 8;
  if ((e->modifiers() & Qt::ControlModifier) && !(e->modifiers() & Qt::AltModifier) && key >= Qt::Key_A &&
      key <= Qt::Key_Z)
    return key - Qt::Key_A + 1;  // Ctrl+V is 22
  if (e->matches(QKeySequence::Paste)) return 22;  // Shift+Insert is a keyboard paste too
  const QString text = e->text();
  if (text.isEmpty()) return std::nullopt;
  const char16_t ch = text.at(0).unicode();
  return ch < 256 ? ch : 0;
}

bool isEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

// Enter pressed: true when the key is fresh. A held Enter repeats, and each
// repeat would press the default button again (Motor Start, Motor Stop, Motor
// Start ...); one press of the key is one press of the button, as with Space.
bool freshEnter(const QKeyEvent* e) { return isEnter(e) && !e->isAutoRepeat(); }

}  // namespace

MainWindow::MainWindow(Program& program, QtToolkit& toolkit)
    : program_(program), form_(program.form), toolkit_(toolkit) {
  build();
  refresh();
  toolkit_.setWindow(this);
  toolkit_.setBeforePump([this] { refresh(); });
}

MainWindow::~MainWindow() {
  // Qt hides the children after this body has run, and a held arrow would
  // then report its release into a window that is gone: report it now.
  endHolds();
  for (ArrowButton* a : arrows_) a->detach();
  for (View& v : views_) {
    v.widget->removeEventFilter(this);
    v.widget->disconnect(this);
  }
  toolkit_.setBeforePump({});
  toolkit_.setWindow(nullptr);
}

void MainWindow::build() {
  setWindowIcon(windowIcon());
  auto* client = new QWidget(this);
  client->setFixedSize(px(Mainform::clientWidth), px(Mainform::clientHeight));
  setCentralWidget(client);

  for (Control& c : form_.controls()) {
    if (c.kind == ControlKind::Menu) {
      createMenu(c);
      continue;
    }
    if (c.kind == ControlKind::Timer || c.kind == ControlKind::FileDialog) continue;
    View& v = views_.emplace_back();
    v.control = &c;
    v.font = qtFont(c.font);
    v.widget = createWidget(v, client);
    v.widget->setGeometry(placeOf(c));
    byWidget_[v.widget] = &v;
  }
  setTabOrder();
  // The layout is fixed: the window neither grows nor shrinks.
  setFixedSize(client->width(), client->height() + menuBar()->sizeHint().height());
}

QLineEdit* MainWindow::createTextBox(View& v, QWidget* parent) {
  Control& c = *v.control;
  const QRect g = placeOf(c);
  auto* edit = new QLineEdit(parent);
  const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
  // Narrow boxes show one big digit each: centre it, and make sure it fits.
  const bool digitBox = g.width() <= 40;
  QFont font = fitHeight(v.font, g.height() - 2 * frame - 2);
  if (digitBox) {
    // The box's own 2 px side margins would leave a 24 pt digit too
    // little room in the 25 px tenths box; give them back.
    edit->setTextMargins(-2, 0, -2, 0);
    font = fitWidth(font, QStringLiteral("0"), g.width() - 2 * frame);
    edit->setAlignment(Qt::AlignCenter);
  }
  edit->setFont(font);
  edit->setFocusPolicy(Qt::StrongFocus);
  if (form_.hasHandler(c, Event::KeyPress)) {
    // Every character that enters a filtered box passes its key filter; the
    // ways in that bypass keys (drops, input methods) are closed.
    edit->setAcceptDrops(false);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
  }
  edit->installEventFilter(this);
  View* view = &v;
  connect(edit, &QLineEdit::textEdited, this, [this, view](const QString& text) { boxEdited(*view, text); });
  return edit;
}

QWidget* MainWindow::createWidget(View& v, QWidget* parent) {
  Control& c = *v.control;
  const QRect g = placeOf(c);
  switch (c.kind) {
    case ControlKind::TextBox:
      return createTextBox(v, parent);
    case ControlKind::CommandButton: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);
      button->setFocusPolicy(Qt::StrongFocus);
      button->installEventFilter(this);
      Control* control = &c;
      connect(button, &QPushButton::clicked, this,
              [this, control] { forward(*control, "Click", [&] { form_.fire(*control, Event::Click); }); });
      return button;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(parent);
      box->setFocusPolicy(Qt::StrongFocus);
      box->installEventFilter(this);
      Control* control = &c;
      View* view = &v;
      connect(box, &QCheckBox::clicked, this, [this, control, view](bool checked) {
        // The box shows the click already; if the handler takes it back (a log
        // that cannot be written), the refresh must see that as a change.
        control->value = view->value = checked ? 1 : 0;
        forward(*control, "Click", [&] { form_.fire(*control, Event::Click); });
      });
      return box;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setFont(v.font);
      // A one-character label (the decimal point of the supply display) is
      // narrower than its glyph's advance: centre it rather than clip it.
      label->setAlignment(c.text.size() == 1 ? (Qt::AlignHCenter | Qt::AlignTop) : (Qt::AlignLeft | Qt::AlignTop));
      return label;
    }
    case ControlKind::Image: {
      const bool up = c.name == "imgUp" || c.name == "PoutUp";
      Control* control = &c;
      auto* arrow = new ArrowButton(
          up ? ArrowDirection::Up : ArrowDirection::Down,
          [this, control] { forward(*control, "MouseDown", [&] { form_.fire(*control, Event::MouseDown); }); },
          [this, control] { forward(*control, "MouseUp", [&] { form_.fire(*control, Event::MouseUp); }); },
          parent);
      arrows_.push_back(arrow);
      return arrow;
    }
    case ControlKind::Picture: {
      auto* picture = new QLabel(parent);
      picture->setPixmap(motorPicture(g.size()));
      picture->setScaledContents(true);
      return picture;
    }
    case ControlKind::Line: {
      auto* line = new QWidget(parent);
      line->setAutoFillBackground(true);
      QPalette pal = line->palette();
      pal.setColor(QPalette::Window, Qt::black);
      line->setPalette(pal);
      return line;
    }
    case ControlKind::Timer:
    case ControlKind::FileDialog:
    case ControlKind::Menu:
      break;
  }
  return new QWidget(parent);
}

// The menu entries are shown greyed: none of them has a command behind it, and
// a live entry that does nothing when clicked would mislead the operator.
void MainWindow::createMenu(const Control& c) {
  QAction* action = menuBar()->addAction(qs(c.text));
  action->setEnabled(false);
}

void MainWindow::setTabOrder() {
  std::vector<View*> stops;
  for (View& v : views_)
    if (v.control->tabIndex >= 0) stops.push_back(&v);
  std::sort(stops.begin(), stops.end(),
            [](const View* a, const View* b) { return a->control->tabIndex < b->control->tabIndex; });
  for (std::size_t i = 1; i < stops.size(); ++i) QWidget::setTabOrder(stops[i - 1]->widget, stops[i]->widget);
  if (!stops.empty()) stops.front()->widget->setFocus(Qt::OtherFocusReason);
}

QWidget* MainWindow::widgetFor(const Control& c) const {
  for (const View& v : views_)
    if (v.control == &c) return v.widget;
  return nullptr;
}

void MainWindow::load() {
  show();
  forward(std::string("Mainform"), "Load", [this] { program_.Form_Load(); });
}

// ---- mirroring ----

void MainWindow::refresh() {
  if (shownCaption_ != form_.caption) {
    setWindowTitle(qs(form_.caption));
    shownCaption_ = form_.caption;
  }
  for (View& v : views_) refreshView(v);
}

void MainWindow::refreshView(View& v) {
  const Control& c = *v.control;
  const bool first = !v.shown;
  v.shown = true;

  if (first || c.enabled != v.enabled) {
    v.widget->setEnabled(c.enabled);
    v.enabled = c.enabled;
  }
  if (first || c.forecolor != v.forecolor || c.backcolor != v.backcolor) {
    v.forecolor = c.forecolor;
    v.backcolor = c.backcolor;
    refreshColors(v);
  }
  if (c.kind == ControlKind::Image || c.kind == ControlKind::Picture || c.kind == ControlKind::Line) return;

  if (first || c.text != v.text) {
    v.text = c.text;
    // A control character (a line feed quoted from a file) shows escaped, as
    // the dump writes it: one line, nothing hidden.
    const QString text = qs(escapedName(c.text));
    switch (c.kind) {
      case ControlKind::TextBox: {
        auto* edit = static_cast<QLineEdit*>(v.widget);
        if (edit->text() != text) {
          const QSignalBlocker quiet(edit);  // a refresh raises no Change
          const int cursor = edit->cursorPosition();
          edit->setText(text);
          // The box with the focus keeps its cursor; the others show their
          // text from its start.
          edit->setCursorPosition(edit->hasFocus() ? std::min(cursor, static_cast<int>(text.size())) : 0);
        }
        // A message longer than its one-line box (Info) can still be read whole.
        const bool clipped = edit->fontMetrics().horizontalAdvance(text) > edit->width() - 8;
        edit->setToolTip(clipped ? text : QString());
        break;
      }
      case ControlKind::CommandButton:
        static_cast<QPushButton*>(v.widget)->setText(text);
        refitCaption(v);
        break;
      case ControlKind::CheckBox:
        static_cast<QCheckBox*>(v.widget)->setText(text);
        refitCaption(v);
        break;
      case ControlKind::Label:
        static_cast<QLabel*>(v.widget)->setText(text);
        refitCaption(v);
        break;
      default:
        break;
    }
  }
  if (c.kind == ControlKind::CheckBox && (first || c.value != v.value)) {
    auto* box = static_cast<QCheckBox*>(v.widget);
    const QSignalBlocker quiet(box);
    box->setChecked(c.value != 0);
    v.value = c.value;
  }
  if (c.kind == ControlKind::CommandButton) {
    const bool isDefault = form_.defaultButton == &c;
    if (first || isDefault != v.isDefault) {
      static_cast<QPushButton*>(v.widget)->setDefault(isDefault);
      v.isDefault = isDefault;
    }
  }
}

// A control whose colours the program left alone follows the desktop's style.
// One whose text or background colour it set shows both colours the form holds
// for it: a colour of the form's own never meets one of the desktop's, so a
// dark theme cannot put the status box's dark grey text on its dark ground.
void MainWindow::refreshColors(View& v) {
  const Control& c = *v.control;
  const bool set = c.forecolor != defaultForecolor(c) || c.backcolor != defaultBackcolor(c);
  QPalette pal = QApplication::palette(v.widget);
  QPalette::ColorRole text = QPalette::WindowText, ground = QPalette::Window;
  switch (c.kind) {
    case ControlKind::TextBox:
      std::tie(text, ground) = std::pair(QPalette::Text, QPalette::Base);
      break;
    case ControlKind::CommandButton:
      std::tie(text, ground) = std::pair(QPalette::ButtonText, QPalette::Button);
      break;
    case ControlKind::CheckBox:
    case ControlKind::Label:
      v.widget->setAutoFillBackground(set);
      break;
    default:
      return;
  }
  if (set) {
    const QColor fore = qtColor(c.forecolor), back = qtColor(c.backcolor);
    pal.setColor(QPalette::Active, text, fore);
    pal.setColor(QPalette::Inactive, text, fore);
    // Disabled text: greyed toward the ground, as a disabled box's always is,
    // but on the form's ground rather than the desktop's.
    pal.setColor(QPalette::Disabled, text, disabledText(fore, back));
    pal.setColor(ground, back);
  }
  v.widget->setPalette(pal);
}

// A substitute font may run wider than the caption's box: shrink it a little.
void MainWindow::refitCaption(View& v) {
  const Control& c = *v.control;
  const QString shown = withoutMnemonic(qs(c.text));
  const int width = v.widget->width();
  QFont font = v.font;
  switch (c.kind) {
    case ControlKind::CommandButton:
      font = fitWidth(font, shown, width - 8);
      break;
    case ControlKind::CheckBox: {
      QStyle* style = v.widget->style();
      const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, v.widget) +
                            style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, v.widget);
      font = fitWidth(font, shown, width - indicator - 2);
      break;
    }
    case ControlKind::Label:
      if (c.text.size() > 1) font = fitWidth(font, qs(c.text), width);
      break;
    default:
      return;
  }
  if (v.widget->font() != font) v.widget->setFont(font);
}

// ---- events ----

template <class F>
void MainWindow::forward(const Control& c, const char* event, F&& call) {
  forward(c.id(), event, std::forward<F>(call));
}

template <class F>
void MainWindow::forward(const std::string& source, const char* event, F&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    reportFailure(source, event, e.what());
  }
  refresh();
}

void MainWindow::reportFailure(const std::string& source, const char* event, const char* what) {
  const std::string text = source + " " + event + " failed: " + what;
  std::cerr << "tavrin: " << text << std::endl;
  toolkit_.messageBox(text);
}

void MainWindow::boxEdited(View& v, const QString& text) {
  std::string s = text.toStdString();
  v.text = s;  // the widget shows it already
  forward(*v.control, "Change", [&] { form_.setText(*v.control, std::move(s)); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  auto it = byWidget_.find(watched);
  if (it == byWidget_.end()) return QMainWindow::eventFilter(watched, e);
  View& v = *it->second;
  if (v.control->kind == ControlKind::TextBox) return boxEvent(v, e) || QMainWindow::eventFilter(watched, e);
  if (e->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent*>(e))) {
    // Enter on a button clicks it; on the check box it presses the default button.
    if (freshEnter(static_cast<QKeyEvent*>(e)))
      forward(*v.control, "Enter", [&] { form_.pressEnter(*v.control); });
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

bool MainWindow::boxEvent(View& v, QEvent* e) {
  Control& c = *v.control;
  switch (e->type()) {
    case QEvent::KeyPress:
      return boxKey(v, static_cast<QKeyEvent*>(e));
    case QEvent::FocusOut: {
      // Leaving the box for another control of the window; the window itself
      // losing activation, or a popup opening, is not leaving it.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
          reason != Qt::MenuBarFocusReason)
        forward(c, "LostFocus", [&] { form_.fire(c, Event::LostFocus); });
      return false;
    }
    case QEvent::ContextMenu: {
      if (!form_.hasHandler(c, Event::KeyPress)) return false;
      // A filtered box offers no Paste: pasted text would bypass its filter.
      auto* edit = static_cast<QLineEdit*>(v.widget);
      QMenu* menu = edit->createStandardContextMenu();
      // The entry is known by its own (translated) caption, "&Paste\tCtrl+V".
      const QString paste = QLineEdit::tr("&Paste");
      for (QAction* a : menu->actions())
        if (a->text() == paste || a->text().startsWith(paste + QLatin1Char('\t'))) a->setEnabled(false);
      menu->setAttribute(Qt::WA_DeleteOnClose);
      menu->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
      // The middle button pastes the X11 selection: not into a filtered box.
      return static_cast<QMouseEvent*>(e)->button() == Qt::MiddleButton && form_.hasHandler(c, Event::KeyPress);
    default:
      return false;
  }
}

// Returns true when the key is used up here and the box must not see it.
bool MainWindow::boxKey(View& v, QKeyEvent* e) {
  Control& c = *v.control;
  if (isEnter(e)) {
    if (freshEnter(e)) forward(c, "Enter", [&] { form_.pressEnter(c); });
    return true;
  }
  if (!form_.hasHandler(c, Event::KeyPress)) return false;  // a plain box takes every key
  const std::optional<int> code = keyCode(e);
  if (!code) return false;
  if (*code == 0) return true;
  int result = 0;
  forward(c, "KeyPress", [&] { result = form_.keyPress(c, *code); });
  if (result == *code) return false;  // let through: the box inserts it as usual
  // Replaced or discarded: insert the replacement ourselves.
  auto* edit = static_cast<QLineEdit*>(v.widget);
  if (result == 8)
    edit->backspace();
  else if (result >= 32 && result < 256)
    edit->insert(QString(QChar(result)));
  if (qs(c.text) != edit->text()) boxEdited(v, edit->text());
  return true;
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
  // Enter with the focus on no control presses the default button.
  if (isEnter(e) && form_.defaultButton) {
    Control& button = *form_.defaultButton;
    if (freshEnter(e)) forward(button, "Click", [&] { form_.fire(button, Event::Click); });
    return;
  }
  QMainWindow::keyPressEvent(e);
}

void MainWindow::endHolds() {
  for (ArrowButton* a : arrows_) a->endHold();
}

bool MainWindow::event(QEvent* e) {
  // An arrow held while the window loses activation (another window, a message
  // box, the desktop switching) may never see its release: end the hold then,
  // so the frequency or supply does not keep stepping on its own.
  if (e->type() == QEvent::WindowDeactivate) endHolds();
  return QMainWindow::event(e);
}

void MainWindow::closeEvent(QCloseEvent* e) {
  // Closes the device and ends the process; it does not return.
  program_.Form_Unload();
  e->accept();
}

}  // namespace tavrin
