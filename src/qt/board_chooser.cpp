#include "qt/board_chooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "cli/option_table.h"
#include "cli/options.h"
#include "core/escape.h"
#include "core/files.h"

namespace tavrin {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(escapedName(s)); }
}  // namespace

BoardChooser::BoardChooser(const BackendOptions& current, std::function<void(const BackendOptions&)> chosen,
                           QWidget* parent)
    : QDialog(parent), current_(current), chosen_(std::move(chosen)) {
  setWindowTitle(QStringLiteral("Tavrin - Board"));
  auto* about = new QLabel(QStringLiteral("The boards each way of reaching one sees. The one chosen is kept in %1 "
                                          "and the program starts again on it.")
                               .arg(QString::fromStdString(utf8FromPath(connectionConfigPath()))));
  about->setWordWrap(true);
  list_ = new QListWidget;
  list_->setMinimumSize(560, 220);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
  use_ = buttons->addButton(QStringLiteral("Start on this board"), QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (choose()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
    if (choose()) accept();
  });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    use_->setEnabled(row >= 0 && list_->item(row)->data(Qt::UserRole).toInt() >= 0);
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(about);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  fill();
}

void BoardChooser::fill() {
  // The real boards first; the simulated one, for training and
  // demonstrations, last.
  std::vector<const Backend*> order;
  for (const Backend& b : backends())
    if (std::string(b.name) != "sim") order.push_back(&b);
  order.push_back(findBackend("sim"));
  int firstBoard = -1;
  for (const Backend* b : order) {
    const BoardList l = b->list(current_);
    for (const BoardInfo& info : l.boards) {
      BackendOptions o = current_;
      o.board = b->name;
      o.port = info.port;
      auto* item = new QListWidgetItem(QStringLiteral("%1\t%2\t%3").arg(b->name, qs(info.serial), qs(info.description)));
      item->setData(Qt::UserRole, static_cast<int>(boards_.size()));
      boards_.push_back(o);
      list_->addItem(item);
      if (firstBoard < 0) firstBoard = list_->count() - 1;
    }
    if (l.boards.empty()) {
      auto* item = new QListWidgetItem(QStringLiteral("%1\tnone: %2").arg(b->name, qs(l.whyNone)));
      item->setData(Qt::UserRole, -1);
      item->setFlags(Qt::ItemIsEnabled);  // said, not chosen
      item->setToolTip(item->text());
      list_->addItem(item);
    }
  }
  list_->setCurrentRow(firstBoard);
  use_->setEnabled(firstBoard >= 0);
}

bool BoardChooser::choose() {
  QListWidgetItem* item = list_->currentItem();
  const int index = item ? item->data(Qt::UserRole).toInt() : -1;
  if (index < 0) return false;
  const BackendOptions& o = boards_[static_cast<std::size_t>(index)];
  std::string error;
  if (!saveConnection(o, error)) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), QStringLiteral("The board cannot be kept: %1").arg(qs(error)),
                    QMessageBox::Ok, this);
    box.exec();
    return false;
  }
  if (chosen_) chosen_(o);
  return true;
}

QStringList restartArguments(const QStringList& original) {
  static const QStringList dropped = {"--board", "--port", "--d2xx-library", "--ftdi-library", "--no-config"};
  QStringList out;
  for (int i = 0; i < original.size(); ++i) {
    const QString& w = original[i];
    // "--" or the first plain word: the command-line text from here on.
    if (w == QLatin1String("--") || !w.startsWith('-') || w.size() < 2) {
      out += original.mid(i);
      break;
    }
    const QString name = w.section('=', 0, 0);
    const bool value = !w.contains('=') && optionTakesValue(kTavrin, name.toStdString()) && i + 1 < original.size();
    if (!dropped.contains(name)) {
      out += w;
      if (value) out += original[i + 1];
    }
    if (value) ++i;
  }
  return out;
}

}  // namespace tavrin
