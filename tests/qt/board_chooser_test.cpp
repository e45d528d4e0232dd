// The board chooser offscreen: every backend's boards or its reason, the simulated board last and chosen when it is
// the only one; choosing keeps it in the configuration file; the restart drops the words that named a board.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>

#include "cli/options.h"
#include "qt/board_chooser.h"

namespace tavrin {
namespace {

TEST(BoardChooser, ListsEveryBackendKeepsTheChoiceAndRestartsWithoutTheOldBoard) {
  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  BackendOptions current;
  current.d2xxLibrary = config.filePath(QStringLiteral("no-libftd2xx.so")).toStdString();
  current.ftdiLibrary = config.filePath(QStringLiteral("no-libftdi1.so")).toStdString();
  BackendOptions got;
  BoardChooser chooser(current, [&got](const BackendOptions& o) { got = o; });
  QListWidget* list = chooser.list();
  ASSERT_EQ(list->count(), 4);
  for (int row = 0; row < 3; ++row)
    EXPECT_TRUE(list->item(row)->text().contains(QStringLiteral("\tnone: "))) << list->item(row)->text().toStdString();
  EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("d2xx\tnone: cannot load")));
  EXPECT_EQ(list->item(3)->text(), QStringLiteral("sim\tTVSIM001\tTavrin Drive Board (simulated)"));
  EXPECT_EQ(list->currentRow(), 3);
  ASSERT_TRUE(chooser.choose());
  EXPECT_EQ(got.board, "sim");
  std::ifstream in(connectionConfigPath());
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find("[link]\nboard = sim\n"), std::string::npos) << saved;
  qunsetenv("XDG_CONFIG_HOME");

  const QStringList original = {"--board", "ftdi", "--trace", "t.txt", "--port=/dev/ttyUSB0", "--no-config",
                                "--sim-seed", "3", "C:\\seq.txt", "--board"};
  EXPECT_EQ(restartArguments(original),
            (QStringList{"--trace", "t.txt", "--sim-seed", "3", "C:\\seq.txt", "--board"}));
}

}  // namespace
}  // namespace tavrin
