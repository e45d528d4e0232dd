// --check-sequence: the printed report of a sequence file, and the command line around it (the file read from the
// drive root, unreadable files, bad option values).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "../behaviour/rig.h"
#include "cli/check_sequence.h"
#include "cli/options.h"

namespace tavrin {
namespace {

TEST(CheckSequence, Reports) {
  // 1003 lines: a comment, a comment with a blank before it (a step whose supply is no number), -32768, a capped
  // wait, a zero duration, then steps up to the 1000th on line 1002 and a 1001st on line 1003.
  std::string errors = "; errors\r\n ; 2000,10\r\n-32768,5\r\n5000,5000\r\n3000,0\r\n", ones;
  for (int line = 6; line <= 1003; ++line) errors += "2000,1\r\n";
  for (int line = 6; line <= 1002; ++line)
    ones += "line " + std::to_string(line) + ": 2000 mV forward, code 27, 2.0 V, motor on, 1 x 20 ms = 20 ms\n";
  struct Case {
    std::string contents;
    double stepTime;
    bool runs;
    std::string report;
  };
  const Case cases[] = {
      {"; endurance test\r\n2000 3000\r\n3000,50\r\n-4500,100\r\n0,25\r\n", 20, true,
       "Sequence file seq.txt, step time 20 ms\n"
       "line 3: 3000 mV forward, code 68, 3.0 V, motor on, 50 x 20 ms = 1,000 ms\n"
       "line 4: -4500 mV reverse, code 130, 4.5 V, motor on, 100 x 20 ms = 2,000 ms\n"
       "line 5: 0 mV unchanged, code 0, 1.3 V, motor off, 25 x 20 ms = 500 ms\n"
       "3 steps, one repeat 3,500 ms\n"
       "The file would run.\n"},
      {errors, 20, false,
       "Sequence file seq.txt, step time 20 ms\n"
       "line 3: -32768 mV reverse, no supply code (out of range), 5 x 20 ms = 100 ms\n"
       "line 4: 5000 mV forward, code 151, 5.0 V, motor on, 5,000 x 20 ms = 100,000 ms, capped to 60,000 ms\n"
       "line 5: 3000 mV forward, code 68, 3.0 V, motor on, 1 x 20 ms = 20 ms\n" +
           ones + "1000 steps, one repeat 80,060 ms\n"
       "The motor runs after the last step: every repeat ends with three tracking passes, not counted above.\n"
       "line 2: error: the supply field ' ; 2000' is not a whole number from -32768 to 32767\n"
       "line 3: error: the supply -32768 mV is out of range\n"
       "line 1003: error: more than 1000 steps\n"
       "3 errors: a run would end reading line 2, before its first step.\n"},
      // Line feeds only; the edges of the supply codes; waits rounded halves to even, and none for a product of 0 or
      // below.
      {"1362,3\n1363,-4\n-9999,1\n", 2.5, true,
       "Sequence file seq.txt, step time 2.5 ms\n"
       "line 1: 1362 mV forward, code 0, 1.3 V, motor off, 3 x 2.5 ms = 7.5 ms, waits 8 ms\n"
       "line 2: 1363 mV forward, code 1, 1.3 V, motor on, -4 x 2.5 ms = -10 ms, no wait\n"
       "line 3: -9999 mV reverse, code 180, 5.7 V, motor on, 1 x 2.5 ms = 2.5 ms, waits 2 ms\n"
       "3 steps, one repeat 10 ms\n"
       "The motor runs after the last step: every repeat ends with three tracking passes, not counted above.\n"
       "The file would run.\n"},
      {"0,10\r\n3000,-30000\r\n", 100000, false,
       "Sequence file seq.txt, step time 100,000 ms\n"
       "line 1: 0 mV unchanged, code 0, 1.3 V, motor off, 10 x 100,000 ms = 1,000,000 ms, capped to 60,000 ms\n"
       "line 2: 3000 mV forward, code 68, 3.0 V, motor on, -30,000 x 100,000 ms = -3,000,000,000 ms, out of range\n"
       "2 steps, one repeat 60,000 ms\n"
       "The motor runs after the last step: every repeat ends with three tracking passes, not counted above.\n"
       "line 2: error: the step's wait of -3,000,000,000 ms is out of range\n"
       "1 error: a run would end at the step on line 2, in its first repeat.\n"},
      // A field quoted with its control characters escaped: the report keeps its lines.
      {"1\x1B[2J\n,5\r\n", 20, false,
       "Sequence file seq.txt, step time 20 ms\n"
       "No steps: a run counts its repeats and sends nothing.\n"
       "line 1: error: the supply field '1\\x1B[2J\\n' is not a whole number from -32768 to 32767\n"
       "1 error: a run would end reading line 1, before its first step.\n"},
      {"; comments only\r\n2000 3000", 20, true,
       "Sequence file seq.txt, step time 20 ms\n"
       "No steps: a run counts its repeats and sends nothing.\n"
       "The file would run.\n"},
  };
  for (const auto& c : cases) {
    SequenceReport r = sequenceReport(c.contents, "seq.txt", c.stepTime);
    SCOPED_TRACE(c.contents.substr(0, 40));
    EXPECT_EQ(r.runs, c.runs);
    EXPECT_EQ(r.text, c.report);
  }
}

// The command line as both programs take it: the exit status and where the words go.
TEST(CheckSequence, CommandLine) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir.path() / "C" / "folder");
  std::ofstream(dir.path() / "C" / "seq.txt", std::ios::binary) << "3000,50\r\n-4500,100\r\n";
  std::ofstream(dir.path() / "bad.txt", std::ios::binary) << "3000,5O\r\n";
  const std::string root = dir.path().string(), bad = (dir.path() / "bad.txt").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;  // the start of the report; the error message after "tavrin: "
  };
  const Case cases[] = {
      {{"--drive-root", root, "--check-sequence", "C:\\seq.txt", "--step-time", "10"}, 0,
       "Sequence file C:\\seq.txt, step time 10 ms\nline 1: 3000 mV forward", ""},
      {{"--check-sequence=" + bad}, 1, "Sequence file " + bad, ""},
      {{"--drive-root", root, "--check-sequence", "C:\\none.txt"}, 2, "",
       "cannot read the sequence file C:\\none.txt (" + (dir.path() / "C" / "none.txt").string() +
           "): No such file or directory"},
      {{"--drive-root", root, "--check-sequence", "C:\\folder"}, 2, "",
       "cannot read the sequence file C:\\folder (" + (dir.path() / "C" / "folder").string() + "): not an ordinary file"},
      {{"--check-sequence"}, 2, "", "option --check-sequence needs a value"},
      {{"--check-sequence", "--step-time", "10", bad}, 2, "",
       "option --check-sequence needs a file name, not '--step-time'"},
      {{"--check-sequence", bad, "other.txt"}, 2, "", "--check-sequence checks one file; unexpected 'other.txt'"},
      {{"--check-sequence", bad, "--step-time", "-5"}, 2, "",
       "option --step-time needs a number of milliseconds from 0 to 1000000000, not '-5'"},
      {{"--step-time", "10"}, 2, "", "option --step-time goes with --check-sequence FILE"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words{"tavrin"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    argv.reserve(words.size());
    for (auto& w : words) argv.push_back(w.data());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int status = -1;
    auto options = parseCommandLine(static_cast<int>(argv.size()), argv.data(), status);
    const std::string out = ::testing::internal::GetCapturedStdout(), err = ::testing::internal::GetCapturedStderr();
    SCOPED_TRACE(words.back());
    EXPECT_FALSE(options);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(err, c.err.empty() ? "" : "tavrin: " + c.err + "\n");
  }
}

}  // namespace
}  // namespace tavrin
