// What a script run refuses, and how a run that cannot end or cannot write
// its output ends: never a hang, never a quiet status 0.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../behaviour/rig.h"
#include "cli/options.h"
#include "cli/script.h"

namespace tavrin {
namespace {

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
    testing::TempDir dir;
    std::ofstream(dir.path() / "run.script", std::ios::binary) << c.script;
    Options o;
    o.backend.board = "sim";
    o.driveRoot = (dir.path() / "drives").string();
    o.traceFile = *c.trace ? c.trace : (dir.path() / "run.trace").string();
    o.scriptFile = (dir.path() / "run.script").string();
    o.untilMs = c.until;
    std::ostringstream out, err;
    if (c.badOutput) out.setstate(std::ios::badbit);
    EXPECT_EQ(runScript(o, out, err), c.status);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    if (c.until) {
      EXPECT_NE(out.str().find("# dump at " + std::to_string(static_cast<int>(*c.until)) + ".0"), std::string::npos);
    }
  }
  std::string error;
  EXPECT_FALSE(parseOptions({"--drive-root", ""}, error));
  EXPECT_EQ(error, "option --drive-root needs a value, not an empty one");
}

}  // namespace
}  // namespace tavrin
