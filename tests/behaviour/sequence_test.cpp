// Stimulus sequences: the steps' frames, lines and waits, the repeats and the
// cycle-count file, stopping, file errors, and the unattended batch run. (How a
// line is read and the supply it asks for: tests/unit/check_sequence_test.cpp.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "rig.h"
#include "sequencer/sequencer.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {

const char* kExample = "; endurance test\r\n2000 3000\r\n3000,50\r\n-4500,100\r\n0,25\r\n";

struct SequenceRig : Rig {
  explicit SequenceRig(const std::string& file = kExample, const char* times = "5",
                       sim::SimConfig board = Rig::quietBoard())
      : Rig(std::move(board)) {
    writeFile("C/seq.txt", file);
    start();
    form().setText(form().StimFileName, "C:\\seq.txt");
    form().setText(form().times, times);
  }
  void startAt(double ms) {
    Mainform& f = form();
    at(ms, [&f] { f.fire(f.RunStimFile, Event::Click); });
  }
  // "TIME mode M" for every frame, and the RTS changes, from `from` ms on.
  std::vector<std::string> events(double from = 1000) const {
    std::vector<std::string> out;
    for (const auto& l : traceLines()) {
      const auto m = l.find("frame mode ");
      if (std::atof(l.c_str()) < from) continue;
      if (m != std::string::npos) out.push_back(l.substr(0, l.find(' ')) + " mode " + l.substr(m + 11, 1));
      if (l.find("Rts") != std::string::npos) out.push_back(l.substr(0, l.find(" ->")));
    }
    return out;
  }
  // After `ms` only motor-off frames, and the enable line never set again.
  void expectMotorOffFrom(double ms) const {
    for (const auto& e : events(ms)) EXPECT_NE(e.find("mode 4"), std::string::npos) << e;
    for (const auto& l : traceLines("FT_SetDtr")) EXPECT_LT(std::atof(l.c_str()), ms) << l;
  }
};

}  // namespace

TEST(Sequence, ExampleFileFiveRepeats) {
  SequenceRig rig;
  Mainform& f = rig.form();
  rig.startAt(1000);
  bool redDuringRun = false;
  rig.at(9000, [&] { redDuringRun = f.show_count.backcolor == colors::red && f.RunStimFile.text == "Sequence Stop"; });
  rig.run();
  // One repeat: 3.0 V forwards (mode 6, then mode 1 starts the motor), 1000 ms;
  // the reversal at the lowest supply, then 4.5 V, 2000 ms; the motor off
  // (mode 4 twice), 500 ms. The next repeat turns forwards again.
  auto events = rig.events();
  ASSERT_GE(events.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 12),
            (std::vector<std::string>{"1000.0 mode 6", "1000.0 mode 1", "2000.0 FT_SetRts", "2000.0 mode 1",
                                      "2000.0 mode 6", "2000.0 mode 6", "4000.0 mode 6", "4000.0 mode 4",
                                      "4000.0 mode 4", "4500.0 FT_ClrRts", "4500.0 mode 1", "4500.0 mode 6"}));
  EXPECT_DOUBLE_EQ(rig.tk.nowMs(), 1000 + 5 * 3500);
  EXPECT_TRUE(redDuringRun);
  EXPECT_EQ(f.show_count.text + " " + f.RunStimFile.text + " " + f.Tracking.text, "5 Sequence Start Track Stop");
  EXPECT_EQ(f.show_count.backcolor, colors::white);
  EXPECT_EQ(rig.readFile("C/Cyclecnt.txt"), "\"26.07.2010 14:03:06 Cycle count:1\"\r\n");
  // The direction changes only at the lowest supply: the frame after the RTS change carries code 00, not 4.5 V's.
  const auto lines = rig.traceLines();
  auto has = [](const char* s) { return [s](const std::string& l) { return l.find(s) != std::string::npos; }; };
  auto frame = std::find_if(std::find_if(lines.begin(), lines.end(), has("FT_SetRts")), lines.end(), has(" frame "));
  ASSERT_NE(frame, lines.end());
  EXPECT_NE(frame->find("supply 01 00"), std::string::npos) << *frame;
}

TEST(Sequence, StopDuringASecondRepeatCountsOutAtOnce) {
  SequenceRig rig;
  Mainform& f = rig.form();
  rig.startAt(1000);
  rig.at(7800, [&f] { f.fire(f.RunStimFile, Event::Click); });  // repeat 2, motor off
  bool countedOut = false;
  rig.at(7801, [&] {  // at once, while the interrupted step still waits
    countedOut = f.show_count.text == "5" && f.show_count.backcolor == colors::white &&
                 f.RunStimFile.text == "Sequence Start";
  });
  rig.run();
  EXPECT_TRUE(countedOut);
  EXPECT_TRUE(rig.events(7800).empty());  // no step after the stop
  EXPECT_DOUBLE_EQ(rig.tk.nowMs(), 8000);  // ends with the interrupted step's wait
}

// A run that ends its repeats with the motor running tracks for three passes
// after each. A stop counts out the rest without tracking them; a stop during
// the run's own tracking leaves it its three passes.
TEST(Sequence, AStopWhileTheMotorRunsEndsTheRunWithAtMostThreePasses) {
  for (double stopAt : {1500.0, 2100.0}) {  // during the step; during the tracking after it
    SCOPED_TRACE(stopAt);
    SequenceRig rig("3000,50\r\n", "370");
    Mainform& f = rig.form();
    rig.startAt(1000);
    rig.at(stopAt, [&f] { f.fire(f.RunStimFile, Event::Click); });
    rig.tk.setTimeLimit(600000);  // a run that tracks on ends here, and fails below
    rig.run();
    EXPECT_EQ(f.show_count.text, "370");
    EXPECT_EQ(f.RunStimFile.text, "Sequence Start");
    // A tracking pass sends three mode 8 frames.
    std::size_t passes = 0;
    for (const auto& e : rig.events(stopAt)) passes += e.find("mode 8") != std::string::npos;
    EXPECT_LE(passes, 9u);
    EXPECT_LT(rig.tk.nowMs(), 10000);
  }
}

// The operator's "Motor Stop" during a run, in a step or in the tracking after a repeat, ends the run there: nothing
// after it sets the enable line again, and the note says why.
TEST(Sequence, MotorStopEndsTheRunBeforeAnythingStartsTheMotorAgain) {
  for (double stopAt : {1500.0, 2110.0}) {
    SCOPED_TRACE(stopAt);
    SequenceRig rig("3000,50\r\n", "370");
    Mainform& f = rig.form();
    rig.startAt(1000);
    bool tracking = false;
    rig.at(stopAt, [&] {
      tracking = rig.program.tracking.running();
      f.fire(f.cmdStartMotor, Event::Click);
    });
    rig.run();
    EXPECT_EQ(tracking, stopAt > 2000);
    rig.expectMotorOffFrom(stopAt);
    EXPECT_NE(f.Info.text.find("  Sequence ended: C:\\seq.txt: Motor Stop in repeat 1"), std::string::npos) << f.Info.text;
    EXPECT_EQ(f.show_count.text, "1");
    EXPECT_EQ(f.cmdStartMotor.text + "/" + f.Tracking.text + "/" + f.RunStimFile.text,
              "Motor Start/Track Freq/Sequence Stop");
  }
  // A stop that lands while the file is read, before the first step: the run never starts the motor.
  SequenceRig rig("3000,50\r\n");
  Mainform& f = rig.form();
  rig.at(900, [&f] { f.fire(f.cmdStartMotor, Event::Click); });
  rig.startAt(1000);
  rig.at(1000, [&f] { f.fire(f.cmdStartMotor, Event::Click); });
  rig.run();
  rig.expectMotorOffFrom(1000);
  EXPECT_NE(f.Info.text.find("Sequence ended: C:\\seq.txt: Motor Stop before the first repeat"), std::string::npos)
      << f.Info.text;
}

// A board that stops answering ends the run at the step that found it: no later step or record; a batch run with
// it fails.
TEST(Sequence, ALostBoardEndsTheRunAndFailsTheBatch) {
  SequenceRig rig(kExample, "12", tavrin::testing::withFaults("unplug=60"));
  Mainform& f = rig.form();
  f.fire(f.RunStimFile, Event::Click);
  EXPECT_EQ(f.CycleCount, 1);
  EXPECT_NE(f.Info.text.find("  Sequence ended: C:\\seq.txt line 4: the board no longer answers"), std::string::npos)
      << f.Info.text;
  EXPECT_LE(rig.traceLines("-> 4").size(), 8u);  // the failed calls of one step at most

  Rig batch(tavrin::testing::withFaults("unplug=60"), false, ".", "C:\\seq.txt");
  batch.writeFile("C/seq.txt", kExample);
  EXPECT_EQ(batch.start(), 4);
  EXPECT_EQ(batch.readFile("C/Cyclecnt.txt").find("\r\n"), batch.readFile("C/Cyclecnt.txt").size() - 2);
}

TEST(Sequence, RepeatsFollowTheBoxAndEveryTenthIsRecorded) {
  const std::tuple<const char*, int, int> cases[] = {{"", 0, 0}, {"-1", 0, 0}, {"2.5", 3, 1}, {"21", 21, 3}};
  for (auto [times, repeats, records] : cases) {
    SCOPED_TRACE(times);
    SequenceRig rig("3000,1\r\n0,1\r\n");
    Mainform& f = rig.form();
    f.setText(f.show_count, "old");
    f.setText(f.times, times);
    f.fire(f.RunStimFile, Event::Click);
    EXPECT_EQ(f.CycleCount, repeats);
    EXPECT_EQ(f.show_count.text, repeats ? std::to_string(repeats) : "old");
    std::string log = rig.readFile("C/Cyclecnt.txt");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), records);
    EXPECT_TRUE(records != 3 || log.find("Cycle count:21\"\r\n") != std::string::npos) << log;
  }
}

TEST(Sequence, LongStepsWaitAMinuteAtMost) {
  SequenceRig rig("3000,5000\r\n", "1");  // 20 ms x 5000 = 100 s
  Mainform& f = rig.form();
  double before = rig.tk.nowMs();
  f.fire(f.RunStimFile, Event::Click);
  // The wait, then three tracking passes of 450 ms with their reference reading.
  EXPECT_DOUBLE_EQ(rig.tk.nowMs() - before, 60000 + 50 + 3 * 450);
  EXPECT_EQ(f.Tracking.text, "Track Freq");
}

TEST(Sequence, RecordsCarryTheSystemDateAndTime) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows dates follow the user's regional settings, which no variable of this process sets";
#else
  ::setenv("LC_ALL", "C", 1);
#endif
  EXPECT_EQ(cycleCountRecord(localeDateTimeText({2026, 12, 5, 21, 14, 3}), 11), "\"12/05/26 21:14:03 Cycle count:11\"");
  EXPECT_EQ(localeDateTimeText({2026, 12, 5, 0, 0, 0}), "12/05/26");
}

TEST(Sequence, AStopDuringTheReadingAndARunAfterAnErrorBothReadTheFile) {
  std::string file;
  for (int i = 0; i < 50; ++i) file += "3000,1\r\n";
  SequenceRig rig(file + "x,1\r\n", "2");
  Mainform& f = rig.form();
  rig.startAt(1000);
  // The reading yields once a line; a stop clicked then runs its own reading.
  rig.at(1000, [&f] { f.fire(f.RunStimFile, Event::Click); });
  rig.run();
  EXPECT_NE(f.Info.text.find("Sequence ended: C:\\seq.txt line 51"), std::string::npos) << f.Info.text;
  EXPECT_EQ(f.Info.text.find("Sequence ended"), f.Info.text.rfind("Sequence ended"));  // one note, not two
  EXPECT_EQ(f.RunStimFile.text, "Sequence Start");  // as the stop left it
  rig.writeFile("C/seq.txt", "3000,1\r\n");  // the file is free again
  f.fire(f.RunStimFile, Event::Click);
  EXPECT_EQ(f.CycleCount, 2);
  EXPECT_EQ(f.RunStimFile.text, "Sequence Start");
}

// An error ends the run and says where; the run keeps the state it ended in:
// still "running", so the next click is a stop.
TEST(Sequence, AnErrorEndsTheRunAndSaysWhere) {
  const struct {
    const char *file, *frequency, *says;
  } cases[] = {{kExample, "abc", "line 3: the drive settings could not be sent"},
               {"3000,1\n ; 2000,10\n", "44000", "line 2: the supply field ' ; 2000'"}};
  for (const auto& c : cases) {
    SequenceRig rig(c.file);
    Mainform& f = rig.form();
    f.setText(f.txtFrekvens_DDS1, c.frequency);
    f.fire(f.RunStimFile, Event::Click);
    EXPECT_NE(f.Info.text.find(std::string("  Sequence ended: C:\\seq.txt ") + c.says), std::string::npos)
        << f.Info.text;
    EXPECT_EQ(f.RunStimFile.text, "Sequence Stop");
    EXPECT_TRUE(f.StimRunning && rig.messages.empty());
  }
}

TEST(Sequence, FileErrorAsksForAnotherFileOrEndsOnCancel) {
  SequenceRig rig(kExample, "1");
  Mainform& f = rig.form();
  f.setText(f.StimFileName, "C:\\missing.txt");
  rig.tk.queueDialogAnswer("C:\\seq.txt");
  f.fire(f.RunStimFile, Event::Click);
  EXPECT_EQ(rig.messages, std::vector<std::string>{"File Not Found"});
  EXPECT_EQ(f.StimFileName.text, "C:\\seq.txt");
  EXPECT_EQ(f.CycleCount, 1);  // restarted with the chosen file and ran

  f.setText(f.StimFileName, "C:\\missing.txt");
  f.fire(f.RunStimFile, Event::Click);  // the dialog is cancelled
  EXPECT_EQ(rig.messages.size(), 2u);
  EXPECT_EQ(f.RunStimFile.text, "Sequence Start");
  EXPECT_EQ(f.StimFileName.text, "C:\\seq.txt");  // the dialog's last name
  EXPECT_NE(f.Info.text.find("  Sequence ended: cannot read C:\\missing.txt ("), std::string::npos) << f.Info.text;
}

// A cycle-count file that cannot be written refuses the start: tests/behaviour/fault_drill_test.cpp.
TEST(Batch, SweepOneRepeatAndExit) {
  Rig rig(Rig::quietBoard(), false, ".", "\"C:\\seq.txt\"");
  rig.writeFile("C/seq.txt", kExample);
  EXPECT_EQ(rig.start(), 0);
  Mainform& f = rig.form();
  EXPECT_EQ(rig.readFile("C/stator-1.txt").substr(0, 21), "#2010-07-26 14:03:05#");
  EXPECT_EQ(f.StimFileName.text + " " + std::to_string(f.CycleCount), "C:\\seq.txt 1");
  // Ended with the motor off, it stays off when the program leaves the bench; the device is closed once.
  EXPECT_NE(rig.frames().back().find("frame mode 4"), std::string::npos);
  EXPECT_FALSE(rig.board.dtr());
  EXPECT_EQ(rig.board.closeCount(), 1);
  EXPECT_FALSE(f.Selectdir.enabled);  // start-up did not go on
}

TEST(Batch, NoFileLetsStartUpGoOnAndReducedStateStillRuns) {
  for (const char* line : {"C:\\nothing.txt", "C:\\", "\"  \""}) {
    Rig rig(Rig::quietBoard(), false, ".", line);
    EXPECT_EQ(rig.start(), std::nullopt) << line;
    EXPECT_TRUE(rig.form().Selectdir.enabled);
  }
  Rig rig(tavrin::testing::withFaults("silent"), false, ".", "C:\\seq.txt");
  rig.writeFile("C/seq.txt", kExample);
  EXPECT_EQ(rig.start(), 4);  // it runs, and fails: the board never answered
  EXPECT_FALSE(rig.form().ControlAvailable);
  EXPECT_EQ(rig.form().CycleCount, 1);
  EXPECT_TRUE(rig.traceLines("frame mode 6").empty());  // no supply frames without voltage control
  EXPECT_EQ(rig.form().Tracking.text, "Track Freq");
}
