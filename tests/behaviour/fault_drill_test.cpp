// The fault drill: start-up, a sweep, tracking, a sequence run and the close on a board with each fault alone, and
// unplugged after every number of calls; and log destinations that cannot be written or kept.
#include <gtest/gtest.h>

#include <regex>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {

struct Drill {
  int closes = 0;
  bool frameAfterClose = false;
  bool linesWhole = true;
  bool toldUnplugged = false;
  int calls = 0;
  std::optional<int> status;
};

Drill runDrill(sim::SimConfig board) {
  Rig rig(std::move(board));
  Mainform& f = rig.form();
  Drill d;
  f.on(f.Info, Event::Change, [&](EventArgs&) {
    if (f.Info.text.find("the board no longer answers") != std::string::npos) d.toldUnplugged = true;
  });
  rig.writeFile("C/seq.txt", "3000,5\r\n-2000,5\r\n0,5\r\n2500,5\r\n");
  rig.at(200, [&] {
    f.setText(f.StimFileName, "C:\\seq.txt");
    f.setText(f.times, "2");
    f.setText(f.TxtSwpStep, "2000");
    f.fire(f.CmdSwpStart, Event::Click);
  });
  rig.at(2000, [&] { f.fire(f.cmdStartMotor, Event::Click); });
  rig.at(2100, [&] { f.fire(f.Tracking, Event::Click); });
  rig.at(3000, [&] { f.fire(f.Tracking, Event::Click); });
  rig.at(4000, [&] { f.fire(f.RunStimFile, Event::Click); });
  rig.at(9000, [&] { rig.program.Form_Unload(); });
  d.status = rig.start();

  bool closed = false;
  for (const auto& l : rig.traceLines()) {
    if (l.find(" FT_") != std::string::npos) ++d.calls;
    if (l.find(" FT_Close") != std::string::npos) {
      ++d.closes;
      closed = true;
    } else if (closed && l.find(" FT_Write") != std::string::npos) {
      d.frameAfterClose = true;
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(rig.root / "C")) {
    if (!entry.is_regular_file()) continue;
    std::string text = rig.readFile("C/" + entry.path().filename().string());
    // Every line ends with CR LF, and no line ends part-way.
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)) d.linesWhole = false;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) d.linesWhole = false;
  }
  return d;
}

}  // namespace

// Each fault in the table, alone; a counted one needs its own drill here, or
// the test fails.
TEST(FaultDrill, EveryFaultAloneAndUnpluggedAfterEveryCall) {
  const Drill clean = runDrill(Rig::quietBoard());
  ASSERT_EQ(clean.status, 0);
  ASSERT_GT(clean.calls, 300);  // the drill reaches every procedure

  std::vector<std::pair<std::string, sim::SimConfig>> boards;
  for (const auto& fault : sim::kFaults) {
    const std::string name(fault.name);
    if (!fault.counted) {
      boards.emplace_back(name, tavrin::testing::withFaults(name));
    } else if (name == "unplug") {  // after every number of calls the run makes
      for (int n = 0; n <= clean.calls; ++n) {
        const std::string item = name + "=" + std::to_string(n);
        boards.emplace_back(item, tavrin::testing::withFaults(item));
      }
    } else {
      ADD_FAILURE() << "no drill for the counted fault " << name;
    }
  }
  for (const auto& [what, board] : boards) {
    SCOPED_TRACE(what);
    Drill d = runDrill(board);
    EXPECT_TRUE(d.status == 0 && d.closes == 1 && !d.frameAfterClose && d.linesWhole)
        << "status " << d.status.value_or(-1) << ", " << d.closes << " closes"
        << (d.frameAfterClose ? ", a write after the close" : "") << (d.linesWhole ? "" : ", a cut line");
    // Unplugged once set up (the eleven set-up calls and more): said in Info.
    if (board.unplugAfterCalls && *board.unplugAfterCalls >= 12 &&
        *board.unplugAfterCalls < static_cast<std::uint64_t>(clean.calls - 1)) {
      EXPECT_TRUE(d.toldUnplugged);
    }
  }
}

TEST(FaultDrill, LogDestinationsThatCannotBeWrittenAreRefusedAndSaidSo) {
  // A full device, a folder, a missing folder: for the sweep log, the timed
  // log and the cycle-count file (a link to the full device in its place).
  for (const char* path : {"/dev/full", "C:\\folder", "C:\\missing\\log.txt"}) {
    SCOPED_TRACE(path);
    Rig rig;
    rig.start();
    Mainform& f = rig.form();
    std::filesystem::create_directories(rig.root / "C" / "folder");
    f.setText(f.LogFileName, path);
    rig.clearTrace();
    f.fire(f.CmdSwpStart, Event::Click);
    EXPECT_EQ(f.Info.text.rfind(std::string("Sweep not started: cannot write ") + path, 0), 0u) << f.Info.text;
    EXPECT_TRUE(rig.traceLines("FT_").empty());
    f.btGetCurrent.value = 1;
    f.fire(f.btGetCurrent, Event::Click);
    EXPECT_EQ(f.Info.text.rfind(std::string("Log ERROR: cannot write ") + path, 0), 0u) << f.Info.text;
    EXPECT_FALSE(f.LogCurrentOn || f.btGetCurrent.value || f.timerGetCurrent.enabled);
  }
#ifndef _WIN32  // a symbolic link needs an administrator on Windows
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  std::filesystem::create_symlink("/dev/full", rig.root / "C" / "Cyclecnt.txt");
  f.fire(f.RunStimFile, Event::Click);
  EXPECT_NE(f.Info.text.find("Sequence not started: cannot write C:\\Cyclecnt.txt (not an ordinary file)"),
            std::string::npos)
      << f.Info.text;
  EXPECT_EQ(f.RunStimFile.text, "Sequence Start");
#endif
}

// A log or record about to be emptied is kept first under its kept-copy name; a copy that cannot be made (its name
// would be too long) leaves the earlier file as it was and starts nothing.
TEST(FaultDrill, EarlierLogsAndRecordsAreKept) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  rig.writeFile("C/seq.txt", "3000,1\r\n");
  f.setText(f.StimFileName, "C:\\seq.txt");
  auto twice = [&](const char* rel, const std::function<void()>& act) {
    act();
    const std::string first = rig.readFile(rel);
    act();
    EXPECT_FALSE(first.empty()) << rel;
    std::string kept = rel;
    kept.insert(kept.size() - 4, "~1");
    EXPECT_EQ(rig.readFile(kept), first) << rel;
    EXPECT_NE(f.Info.text.find(" kept as C:\\" + kept.substr(2)), std::string::npos) << f.Info.text;
  };
  twice("C/stator-1.txt", [&] {
    f.setText(f.LogFileName, "C:\\stator-1.txt");
    f.fire(f.CmdSwpStart, Event::Click);
  });
  twice("C/log.txt", [&] {
    f.setText(f.LogFileName, "C:\\log.txt");
    f.btGetCurrent.value = 1;
    f.fire(f.btGetCurrent, Event::Click);
    rig.at(rig.tk.nowMs() + 2500, [&f] {
      f.btGetCurrent.value = 0;
      f.fire(f.btGetCurrent, Event::Click);
    });
    rig.run();
  });
  twice("C/Cyclecnt.txt", [&] { f.fire(f.RunStimFile, Event::Click); });
  EXPECT_EQ(rig.readFile("C/stator-1~2.txt"), "");  // a third name only for a third sweep

#ifndef _WIN32
  const std::string longName = std::string(251, 'x') + ".txt";
  rig.writeFile("C/" + longName, "earlier\r\n");
  f.setText(f.LogFileName, "C:\\" + longName);
  f.fire(f.CmdSwpStart, Event::Click);
  EXPECT_EQ(f.Info.text.rfind("Sweep not started: cannot keep the earlier C:\\" + longName + " (", 0), 0u) << f.Info.text;
  f.btGetCurrent.value = 1;
  f.fire(f.btGetCurrent, Event::Click);
  EXPECT_EQ(f.Info.text.rfind("Log ERROR: cannot keep the earlier C:\\" + longName + " (", 0), 0u) << f.Info.text;
  EXPECT_FALSE(f.LogCurrentOn);
  EXPECT_EQ(rig.readFile("C/" + longName), "earlier\r\n");
#endif
}
