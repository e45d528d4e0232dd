// The operator-script runner: parse errors by line, unknown controls, close, answer, the final dump.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cli/options.h"
#include "cli/script.h"
#include "test_support.h"

namespace tavrin {
namespace {

TEST(ParseScript, ReadsActionsAndSkipsCommentsAndBlankLines) {
  std::string error;
  auto actions = parseScript(
      "# send the start values\r\n"
      "\n"
      "100 settext txtFrekvens_DDS1 44000\n"
      "150 settext txtFase_DDS2\n"
      "200.5 click cmdWrite   # by hand\n"
      "300 press imgUp(4)\n"
      "400 answer C:\\stator-2.txt\n"
      "500 close\n",
      error);
  ASSERT_TRUE(actions) << error;
  ASSERT_EQ(actions->size(), 6u);
  const auto& a = *actions;
  EXPECT_EQ(a[0].line, 3);
  EXPECT_EQ(a[0].atMs, 100);
  EXPECT_EQ(a[0].action, "settext");
  EXPECT_EQ(a[0].control, "txtFrekvens_DDS1");
  EXPECT_EQ(a[0].text, "44000");
  EXPECT_EQ(a[1].text, "");  // emptying a box is allowed
  EXPECT_EQ(a[2].atMs, 200.5);
  EXPECT_EQ(a[3].control, "imgUp(4)");
  EXPECT_EQ(a[4].text, "C:\\stator-2.txt");
  EXPECT_EQ(a[5].action, "close");
}

TEST(ParseScript, ErrorsNameTheLine) {
  struct Case {
    const char* script;
    const char* error;
  };
  const Case cases[] = {
      {"100 click cmdWrite\n100 frobnicate cmdWrite\n", "script line 2: unknown action 'frobnicate'"},
      {"soon click cmdWrite\n", "script line 1: 'soon' is not a time in ms"},
      {"-5 click cmdWrite\n", "script line 1: '-5' is not a time in ms"},
      {"&H10 click cmdWrite\n", "script line 1: '&H10' is not a time in ms"},
      {"# c\n\n100 click\n", "script line 3: click needs a control"},
      {"100 click cmdWrite now\n", "script line 1: unexpected text after click"},
      {"100 close cmdExit\n", "script line 1: unexpected text after close"},
      {"100 answer\n", "script line 1: answer needs a text"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(parseScript(c.script, error)) << c.script;
    EXPECT_EQ(error, c.error) << c.script;
  }
}

// One script run through runScript, as tavrin-script runs it.
struct ScriptRun {
  explicit ScriptRun(const std::string& script, const std::string& faults = "") {
    std::ofstream(dir.path() / "run.script", std::ios::binary) << script;
    Options o;
    o.backend.board = "sim";
    std::string error;
    if (!faults.empty() && !sim::parseFaults(faults, o.backend.sim, error)) std::abort();
    o.driveRoot = (dir.path() / "drives").string();
    o.traceFile = (dir.path() / "run.trace").string();
    o.scriptFile = (dir.path() / "run.script").string();
    status = runScript(o, out, err);
    std::ifstream in(o.traceFile, std::ios::binary);
    std::ostringstream t;
    t << in.rdbuf();
    trace = t.str();
  }
  bool outHas(const std::string& line) const { return ("\n" + out.str()).find("\n" + line + "\n") != std::string::npos; }
  bool outHasLineStarting(const std::string& start) const {
    return ("\n" + out.str()).find("\n" + start) != std::string::npos;
  }

  test::TempDir dir;
  std::ostringstream out, err;
  std::string trace;
  int status = -1;
};

TEST(RunScript, SendDataEndsWithADumpOfTheWindow) {
  ScriptRun run(
      "100 settext txtFrekvens_DDS1 44000\n"
      "100 settext txtFase_DDS2 90\n"
      "250 click cmdWrite\n");
  EXPECT_EQ(run.status, 0) << run.err.str();
  EXPECT_EQ(run.err.str(), "");
  EXPECT_NE(run.trace.find("250.0 FT_SetDtr -> 0\n250.0 FT_Write 02 01 -> 0\n"), std::string::npos) << run.trace;
  EXPECT_NE(run.trace.find("250.0 frame mode 1 freq 2952790 (44000 Hz) phase 1024 supply 01 00\n"),
            std::string::npos);
  // The last dump is taken when the last action has run, and is the last thing printed.
  std::string out = run.out.str();
  auto lastDump = out.rfind("# dump at ");
  ASSERT_NE(lastDump, std::string::npos);
  EXPECT_EQ(out.substr(lastDump, out.find('\n', lastDump) - lastDump), "# dump at 250.0");
  EXPECT_TRUE(run.outHas("cmdStartMotor.caption=Motor Stop"));
  EXPECT_TRUE(run.outHas("txtFrekvens_DDS1.text=44000"));
  EXPECT_TRUE(run.outHas("DriveMode=1"));
}

TEST(RunScript, DumpActionPrintsAtItsTime) {
  ScriptRun run("100 dump\n200 settext TxtSteptime 12abc\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.outHas("# dump at 100.0"));
  EXPECT_TRUE(run.outHas("# dump at 200.0"));
  EXPECT_TRUE(run.outHas("StepTime=12"));
}

TEST(RunScript, UnknownControlIsABadScript) {
  ScriptRun run("100 click cmdWrite\n200 click cmdNoSuchButton\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.str().find("script line 2: no control 'cmdNoSuchButton'"), std::string::npos) << run.err.str();
  EXPECT_EQ(run.trace.find("FT_Write"), std::string::npos);  // nothing ran, not even the good line

  ScriptRun wrongKind("100 press cmdWrite\n");
  EXPECT_EQ(wrongKind.status, 2);
  EXPECT_NE(wrongKind.err.str().find("script line 1: press needs an arrow image"), std::string::npos);
}

TEST(RunScript, CloseEndsTheProgramWithStatusZero) {
  ScriptRun run(
      "100 settext txtFrekvens_DDS1 44000\n"
      "100 settext txtFase_DDS2 90\n"
      "200 close\n"
      "300 click cmdWrite\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.trace.find("200.0 FT_Close -> 0\n"), std::string::npos) << run.trace;
  EXPECT_EQ(run.trace.find("300.0"), std::string::npos) << "nothing runs after the program ended";
  EXPECT_TRUE(run.outHas("# dump at 200.0"));
}

TEST(RunScript, AnswerWithoutADialogChangesNothing) {
  ScriptRun plain("100 dump\n");
  ScriptRun answered("50 answer C:\\stator-9.txt\n100 dump\n");
  EXPECT_EQ(answered.status, 0);
  EXPECT_EQ(answered.err.str(), "");
  EXPECT_EQ(answered.trace, plain.trace);
  EXPECT_EQ(answered.out.str(), plain.out.str());
}

TEST(RunScript, MissingScriptFileIsReported) {
  test::TempDir dir;
  Options o;
  o.backend.board = "sim";
  o.driveRoot = dir.path().string();
  o.scriptFile = (dir.path() / "absent.script").string();
  std::ostringstream out, err;
  EXPECT_EQ(runScript(o, out, err), 2);
  EXPECT_NE(err.str().find("cannot read script"), std::string::npos);
}

TEST(RunScript, FaultyBoardShowsItsMessageInTheDump) {
  ScriptRun run("100 dump\n", "open");
  EXPECT_EQ(run.status, 0);
  // (start-up may add to the message; the error leads)
  EXPECT_TRUE(run.outHasLineStarting("Info.text=Comm ERROR: FTDI failed to open device")) << run.out.str();
  EXPECT_TRUE(run.outHas("Info.forecolor=#FF0000"));
  EXPECT_TRUE(run.outHas("DeviceHandle=0"));
}

}  // namespace
}  // namespace tavrin
