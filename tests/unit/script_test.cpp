// The operator-script runner: parse errors by line, unknown controls, close, answer, the final dump.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "../behaviour/rig.h"
#include "cli/options.h"
#include "cli/script.h"
#include "cli/tracediff.h"
#include "core/files.h"

namespace tavrin {
namespace {

// What a script may hold is in every golden case (tests/golden/cases) and the fuzz target.
TEST(ParseScript, ErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"100 click cmdWrite\n100 frobnicate cmdWrite\n", "script line 2: unknown action 'frobnicate'"},
      {"soon click cmdWrite\n", "script line 1: 'soon' is not a time in ms from 0 to 1000000000000"},
      {"-5 click cmdWrite\n", "script line 1: '-5' is not a time in ms from 0 to 1000000000000"},
      {"&H10 click cmdWrite\n", "script line 1: '&H10' is not a time in ms from 0 to 1000000000000"},
      {"# c\n\n100 click\n", "script line 3: click needs a control"},
      {"100 click cmdWrite now\n", "script line 1: unexpected text after click"},
      {"100 close cmdExit\n", "script line 1: unexpected text after close"},
      {"100 answer\n", "script line 1: answer needs a text"},
  };
  for (auto [script, message] : cases) {
    std::string error;
    EXPECT_FALSE(parseScript(script, error)) << script;
    EXPECT_EQ(error, message) << script;
  }
}

// One script run through runScript, as tavrin-script runs it; no script: no file.
struct ScriptRun {
  explicit ScriptRun(const char* script, const std::string& trace = "", std::optional<double> until = std::nullopt,
                     bool badOutput = false) {
    if (script) std::ofstream(dir.path() / "run.script", std::ios::binary) << script;
    o.backend.board = "sim";
    o.driveRoot = (dir.path() / "drives").string();
    o.traceFile = trace.empty() ? (dir.path() / "run.trace").string() : trace;
    o.scriptFile = (dir.path() / "run.script").string();
    o.untilMs = until;
    if (badOutput) out.setstate(std::ios::badbit);
    rerun();
  }
  void rerun() {
    out.str("");
    err.str("");
    status = runScript(o, out, err);
    readWholeFile(o.traceFile, trace);
  }
  bool outHas(const std::string& line) const { return ("\n" + out.str()).find("\n" + line + "\n") != std::string::npos; }

  testing::TempDir dir;
  Options o;
  std::ostringstream out, err;
  std::string trace;
  int status = -1;
};

// What a run refuses, and how a run that cannot end or cannot write its output ends: never a hang, never a quiet
// status 0.
TEST(ScriptLimits, RefusedOrStoppedWithAReason) {
  struct Case {
    const char* script;
    const char* trace;  // the trace file; empty: one in the test folder
    bool badOutput;
    int status;
    const char* says;
    std::optional<double> until = std::nullopt;
  };
  // Tracking with no wait of its own (a step time of 0, a phase box whose frame cannot be built) still moves the
  // clock: it reaches --until, or is seen to run for ever.
  const char* spinning = "200 click cmdStartMotor\n210 settext TxtSteptime 0\n220 settext txtFase_DDS2 x\n"
                         "230 click Tracking\n";
  const Case cases[] = {
      {"1e19 press imgUp(1)\n", "", false, 2, "'1e19' is not a time in ms"},
      {"200 enter Label3\n", "", false, 2, "enter needs a box or a button, not Label3"},
      {"200 click tmrpause\n", "", false, 2, "click needs a button or a check box, not tmrpause"},
      {"200 click Line1\n", "", false, 2, "click needs a button or a check box"},
      {"200 press imgUp(1)\n", "", false, 3, "stopped at 200.0 ms: a frequency arrow is held and never released"},
      {"200 press PoutUp(0)\n", "", false, 3, "a supply arrow is held and never released"},
      {"200 click cmdStartMotor\n300 click Tracking\n", "", false, 3, "tracking runs until \"Track Stop\""},
      {"200 click cmdWrite\n", "/dev/full", false, 1, "cannot write the trace file /dev/full"},
      {"200 click cmdWrite\n", "", true, 1, "cannot write the output"},
      {spinning, "", false, 3, "stopped at 230.0 ms: tracking runs until \"Track Stop\""},
      {spinning, "", false, 0, "", 5000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    ScriptRun run(c.script, c.trace, c.until, c.badOutput);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.str().find(c.says), std::string::npos) << run.err.str();
    if (c.until) {
      EXPECT_TRUE(run.outHas("# dump at " + std::to_string(static_cast<int>(*c.until)) + ".0")) << run.out.str();
    }
  }
  std::string error;
  EXPECT_FALSE(parseOptions({"--drive-root", ""}, error));
  EXPECT_EQ(error, "option --drive-root needs a value, not an empty one");
}

TEST(RunScript, BadScriptsRunNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"100 click cmdWrite\n200 click cmdNoSuchButton\n", "script line 2: no control 'cmdNoSuchButton'"},
      {"100 press cmdWrite\n", "script line 1: press needs an arrow image"},
      {nullptr, "cannot read script"}};
  for (auto [script, message] : cases) {
    ScriptRun run(script);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.str().find(message), std::string::npos) << run.err.str();
    EXPECT_EQ(run.trace.find("FT_Write"), std::string::npos);  // nothing ran, not even a good line
  }
}

// Close ends the program with status 0 and a last dump; an answer without a dialog changes nothing.
TEST(RunScript, CloseEndsTheRunAndAnAnswerWithoutADialogChangesNothing) {
  ScriptRun plain("100 dump\n200 close\n300 click cmdWrite\n");
  ScriptRun answered("50 answer C:\\stator-9.txt\n100 dump\n200 close\n300 click cmdWrite\n");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err.str(), "");
  EXPECT_NE(plain.trace.find("200.0 FT_Close -> 0\n"), std::string::npos) << plain.trace;
  EXPECT_EQ(plain.trace.find("300.0"), std::string::npos) << "nothing runs after the program ended";
  EXPECT_TRUE(plain.outHas("# dump at 100.0") && plain.outHas("# dump at 200.0")) << plain.out.str();
  EXPECT_EQ(answered.status, 0);
  EXPECT_EQ(answered.err.str(), "");
  EXPECT_EQ(answered.trace, plain.trace);
  EXPECT_EQ(answered.out.str(), plain.out.str());
}

// A value holding a control character (a sequence line with a bare line feed quoted in Info, a message quoting it)
// stays on its dump line, escaped; a backslash is doubled so that every value reads back exactly.
TEST(RunScript, DumpKeepsOneLineAValue) {
  ScriptRun run(nullptr);
  std::filesystem::create_directories(run.dir.path() / "drives" / "C");
  std::ofstream(run.dir.path() / "drives" / "C" / "seq.txt", std::ios::binary) << "3000,2\r\n0,2\n1000,2\r\n";
  std::ofstream(run.dir.path() / "run.script", std::ios::binary)
      << "200 settext StimFileName C:\\seq.txt\n300 click RunStimFile\n";
  run.rerun();
  std::istringstream lines(run.out.str());
  for (std::string l; std::getline(lines, l);)
    EXPECT_TRUE(l.rfind("# dump at ", 0) == 0 || l.find('=') != std::string::npos) << l;
  EXPECT_TRUE(run.outHas("StimFileName.text=C:\\\\seq.txt")) << run.out.str();
  EXPECT_NE(run.out.str().find("\nInfo.text="), std::string::npos);
  EXPECT_NE(run.out.str().find("line 2: the duration field '2\\n1000,2'"), std::string::npos) << run.out.str();
}

TraceComparison compare(const std::string& a, const std::string& b, const TraceTolerance& tolerance) {
  std::istringstream inA(a), inB(b);
  return compareTraces(inA, inB, tolerance);
}

// A real-time trace against a virtual-time one: operations must agree exactly,
// times within the tolerance; the first difference is named.
TEST(CompareTraces, SameOperationsWithinTheToleranceAndTheFirstDifferenceNamed) {
  const std::string virt = "0.0 FT_ClrDtr -> 0\n50.0 FT_Read 10 -> 0 count 0\n1000.0 FT_Close -> 0\n";
  const TraceTolerance tol;  // 50 ms + 1 %
  struct Case {
    std::string real;
    std::size_t line;  // 0: the same
    const char* why;
  } cases[] = {
      {"1.3 FT_ClrDtr -> 0\r\n99.9 FT_Read 10 -> 0 count 0\r\n1059.0 FT_Close -> 0\r\n", 0, ""},
      {"0.0 FT_ClrDtr -> 0\n50.0 FT_Read 10 -> 0 count 0\n1061.0 FT_Close -> 0\n", 3, "the times differ by 61.0"},
      {"0.0 FT_ClrDtr -> 0\n50.0 FT_Read 10 -> 4 count 0\n1000.0 FT_Close -> 0\n", 2, "the operations differ"},
      {"0.0 FT_ClrDtr -> 0\n50.0 FT_Read 10 -> 0 count 0\n", 3, "one trace ends here"},
      {"0.0 FT_ClrDtr -> 0\nsoon FT_Read\n", 2, "not a trace line"},
  };
  for (const auto& c : cases) {
    auto r = compare(c.real, virt, tol);
    EXPECT_EQ(r.same, c.line == 0) << c.real;
    EXPECT_EQ(r.line, c.line) << c.real;
    EXPECT_EQ(r.why.rfind(c.why, 0), 0u) << r.why;
  }
  EXPECT_EQ(compare(cases[0].real, virt, tol).largestDiffMs, 59.0);
  // Another board: its serial and description differ, nothing else may.
  const std::string sim = "0.0 FT_ListDevices 0 40000001 -> 0 \"TVSIM001\"\n0.0 FT_OpenEx \"Sim\" 2 -> 0\n";
  const std::string real = "0.4 FT_ListDevices 0 40000001 -> 0 \"FT4X2\"\n0.4 FT_OpenEx \"Drive\" 2 -> 0\n";
  TraceTolerance any = tol;
  any.anyDevice = true;
  EXPECT_FALSE(compare(real, sim, tol).same);
  EXPECT_TRUE(compare(real, sim, any).same);
  EXPECT_FALSE(compare("0.4 FT_OpenEx \"Drive\" 2 -> 3\n", "0.0 FT_OpenEx \"Sim\" 2 -> 0\n", any).same);
  const std::string huge = "0.0 FT_Write " + std::string(kLongestTraceLine, '0');  // only its start is kept
  EXPECT_EQ(compare(huge, huge, tol).why, "not a trace line (TIME_MS TEXT)");
  // A line with control characters (an escape sequence, a lone CR) printed on one line, and so is a name.
  EXPECT_EQ(comparisonText(compare(virt, "0.0 FT_ClrDtr -> 0\n5\x1B[2J\r0\n", tol), "a\tb", "C:\\v.trace"),
            "traces differ at line 2: not a trace line (TIME_MS TEXT)\n"
            "  a\\tb: 50.0 FT_Read 10 -> 0 count 0\n"
            "  C:\\v.trace: 5\\x1B[2J\\r0\n");
}

}  // namespace
}  // namespace tavrin
