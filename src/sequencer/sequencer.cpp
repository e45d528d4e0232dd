#include "sequencer/sequencer.h"

#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/numbers.h"
#include "procedures/log_file.h"

namespace tavrin {

std::string cycleCountRecord(const std::string& dateTime, std::int32_t count) {
  return "\"" + dateTime + " Cycle count:" + std::to_string(count) + "\"";
}

namespace {
std::optional<std::string> fileErrorMessage(FileErrorCode code) {
  switch (code) {
    case FileErrorCode::BadFileName:
      return "Bad File";
    case FileErrorCode::FileNotFound:
      return "File Not Found";
    case FileErrorCode::FileAlreadyOpen:
      return "File Already Open";
    case FileErrorCode::DiskNotReady:
      return "Disk Not Ready";
    default:
      return std::nullopt;
  }
}
}  // namespace

bool Sequencer::ChaStimFile_Click() {
  Control& dialog = f_.CommonDialog1;
  auto chosen = f_.toolkit.openFileDialog("Stimuli File", dialog.fileName);
  if (chosen) dialog.fileName = *chosen;
  f_.setText(f_.StimFileName, dialog.fileName);
  return chosen.has_value();
}

void Sequencer::RunStimFile_Click() {
  Mainform& f = f_;
  if (f.RunStimFile.text == "Sequence Start") {
    // The record of an endurance run must be kept: a cycle-count file that
    // cannot be created stops the start before anything changes.
    lastFailure_.clear();
    FileResult r;
    const std::string kept = keepEarlierFile(paths_, kCycleCountFile, r);
    if (!r.ok()) {
      endNote(std::string("cannot keep the earlier ") + kCycleCountFile + " (" + r.detail + ")",
              "Sequence not started: ");
      return;
    }
    r = writeLines(paths_.map(kCycleCountFile), {});
    if (!r.ok()) {
      endNote(std::string("cannot write ") + kCycleCountFile + " (" + r.detail + ")", "Sequence not started: ");
      return;
    }
    f.setText(f.Info, f.Info.text + kept);
    f.LogFilePath = kCycleCountFile;
    f.StimRunning = true;
    f.CycleLogTick = 0;
    f.CycleCount = 0;
    f.StimForward = true;
    f.setText(f.RunStimFile, "Sequence Stop");
    if (onStart) onStart();
  } else {
    f.StimRunning = false;
    f.setText(f.RunStimFile, "Sequence Start");
  }
  RunSequence();
}

void Sequencer::RunSequence() {
  // Each run (a count-out after a stop is one too) has its own guard: runs
  // nest. It counts from the click: reading the file already lets the
  // operator's events in.
  const DriveGuard guard(f_, link_);
  for (;;) {
    try {
      readAndRun(guard);
      return;
    } catch (const FileFailure& e) {
      auto message = fileErrorMessage(e.code);
      if (!message) {
        endNote(e.detail);
        return;
      }
      f_.toolkit.messageBox(*message);
      // A cancel would offer the same failing name again, and again: it ends
      // the run, and the note says which file it could not use.
      if (!ChaStimFile_Click()) {
        finish();
        endNote(e.detail + "; the file dialog was cancelled");
        return;
      }
    } catch (const RunError& e) {
      endNote(e.what());
      return;
    }
  }
}

void Sequencer::readAndRun(const DriveGuard& guard) {
  Mainform& f = f_;
  const std::string name = f.StimFileName.text;
  int lineNo = 0;
  // The file is read whole and released at once: a run ended by an error, or
  // a second run started while this one reads, never finds it held open.
  std::string contents;
  if (FileResult r = readWholeFile(paths_.map(name), contents); !r.ok())
    throw FileFailure{r.code, "cannot read " + name + " (" + r.detail + ")"};
  int n = 0;
  std::vector<int> stepLines(1, 0);
  for (const auto& line : sequenceLines(contents)) {
    ++lineNo;
    std::string why;
    auto step = readSequenceLine(line, why);
    if (!why.empty()) throw RunError(name + " line " + std::to_string(lineNo) + ": " + why);
    if (step) {
      if (n == kMaxSequenceSteps)
        throw RunError(name + " line " + std::to_string(lineNo) + ": more than 1000 steps");
      steps[++n] = *step;
      stepLines.push_back(lineNo);
    }
    f.toolkit.doEvents();
    // A turn per block of lines, so a signal is heard in a huge file too.
    if (lineNo % 4096 == 0) f.toolkit.yieldTurn();
  }

  for (;;) {
    if (!(leadingNumber(f.times.text) > f.CycleCount)) break;
    // A repeat that runs no step waits for nothing: counting out millions of
    // them must leave the window, Exit and the signals alive.
    if (!f.StimRunning || n == 0) f.toolkit.yieldTurn();
    if (f.StimRunning) goOn(name, guard);
    if (f.CycleCount == std::numeric_limits<std::int32_t>::max())
      throw RunError("the repeat count is out of range");
    ++f.CycleCount;
    f.setText(f.show_count, std::to_string(f.CycleCount));
    f.show_count.backcolor = colors::red;
    f.CycleLogTick = f.CycleLogTick == 10 ? 1 : f.CycleLogTick + 1;
    if (f.CycleLogTick == 1) appendCycleRecord();
    for (int i = 1; i <= n; ++i) {
      if (!f.StimRunning) break;
      goOn(name, guard);
      try {
        executeStep(i, guard);
      } catch (const RunError& e) {
        throw RunError(name + " line " + std::to_string(stepLines[i]) + ": " + e.what());
      }
    }
    // A repeat counted out after "Sequence Stop" starts no tracking: each one
    // would run without the run's pass limit, and the operator would have to
    // stop every one of them by hand.
    if (f.StimRunning && f.cmdStartMotor.text == "Motor Stop" && f.ControlAvailable) {
      f.setText(f.Tracking, "Track Stop");
      try {
        tracking_.TrackFrequency();
      } catch (const MotorStoppedByOperator&) {
        goOn(name, guard);
      } catch (const RunError& e) {
        throw RunError(name + ": tracking at the end of repeat " + std::to_string(f.CycleCount) + ": " +
                                   e.what());
      }
      f.setText(f.Tracking, "Track Freq");
    }
  }
  finish();
}

void Sequencer::executeStep(int i, const DriveGuard& guard) {
  Mainform& f = f_;
  const SequenceStep& step = steps[i];
  // Direction: a negative supply asks for the other way round, a positive one
  // for the way the button showed at the start; 0 keeps the direction.
  if ((step.supply < 0 && f.StimForward) || (step.supply > 0 && !f.StimForward)) {
    if (f.ControlAvailable) f.PoutByteLo = 0;  // the reversal goes out at the lowest supply
    const std::string before = f.Selectdir.text;
    motor_.Selectdir_Click();
    // A refused reversal must not turn the run's idea of forwards round.
    if (f.Selectdir.text == before) throw RunError("the direction change was refused");
    f.StimForward = !f.StimForward;
  }
  auto supply = supplySetting(step.supply);
  if (!supply) throw RunError("the supply -32768 mV is out of range");
  f.PoutByteLo = supply->code;
  f.PoutValue = supply->tenths;
  if (f.ControlAvailable) {
    supply_.ShowPout(f.PoutValue);
    f.DriveMode = 6;
    sendOrFail(guard);
  }
  if (f.PoutByteLo == 0) {
    f.DriveMode = 4;
    f.setText(f.cmdStartMotor, "Motor Start");
    sendOrFail(guard);
  } else {
    if (f.cmdStartMotor.text == "Motor Start") {
      f.DriveMode = 1;
      f.setText(f.cmdStartMotor, "Motor Stop");
    }
    if (f.ControlAvailable) f.setText(f.Tracking, "Track Stop");
  }
  sendOrFail(guard);
  // One wait per step, at most a minute.
  const double ms = leadingNumber(f.Text1StepTime.text) * step.duration;
  if (ms > 60000) {
    waits_.Pause(60000);
  } else {
    auto whole = toInt32(ms);
    if (!whole) throw RunError("the step's wait is out of range");
    waits_.Pause(*whole);
  }
}

void Sequencer::sendOrFail(const DriveGuard& guard) {
  // A step that cannot reach the board ends the run: the record of an
  // endurance run must not count stimulus that was never sent.
  if (!link_.SendDriveSettings()) throw RunError("the drive settings could not be sent");
  if (guard.boardLost()) throw RunError("the board no longer answers");
}

void Sequencer::goOn(const std::string& name, const DriveGuard& guard) {
  // The operator's stop of the motor ends the run before anything starts the
  // motor again; a board lost between the steps ends it before the next one.
  if (guard.motorStopped()) {
    f_.setText(f_.Tracking, "Track Freq");  // nothing tracks the stopped motor
    throw RunError(name + ": Motor Stop " +
                   (f_.CycleCount ? "in repeat " + std::to_string(f_.CycleCount) : std::string("before the first repeat")));
  }
  if (guard.boardLost()) throw RunError(name + ": the board no longer answers");
}

void Sequencer::appendCycleRecord() {
  const std::string path = f_.LogFilePath;
  FileResult r = appendLine(paths_.map(path), cycleCountRecord(dateTimeText_(clock_()), f_.CycleCount));
  if (!r.ok()) throw FileFailure{r.code, "cannot write " + path + " (" + r.detail + ")"};
}

void Sequencer::finish() {
  Mainform& f = f_;
  f.setEnabled(f.RunStimFile, true);
  f.show_count.backcolor = colors::white;
  f.setText(f.RunStimFile, "Sequence Start");
}

void Sequencer::endNote(const std::string& why, const char* prefix) {
  // The run keeps the state it ended in (button, counter colour, the motor);
  // the operator is told why it ended.
  lastFailure_ = why;
  std::string info = f_.Info.text;
  if (!note_.empty() && info.size() >= note_.size() &&
      info.compare(info.size() - note_.size(), note_.size(), note_) == 0)
    info.erase(info.size() - note_.size());
  note_ = "  " + std::string(prefix) + why;
  f_.setText(f_.Info, info + note_);
}

}  // namespace tavrin
