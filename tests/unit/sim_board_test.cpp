// The simulated board at the library's edge: frames, current replies and their faults, unplugging. (Its motor
// model is exercised by the behaviour tests: the overflowing idle current, tracking a drifting resonance.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "link/frame.h"
#include "sim/sim_board.h"

namespace tavrin::sim {
namespace {

// A board opened and set up as the program does it, on a clock the test moves.
class SimBoardTest : public ::testing::Test {
 protected:
  void openBoard(const std::string& faults = "") {
    SimConfig config;
    std::string error;
    ASSERT_TRUE(parseFaults(faults, config, error)) << error;
    board = std::make_unique<SimBoard>(config, [this] { return now; });
    std::string description = config.description;
    ASSERT_EQ(board->openByDescription(description, h), ft::OK);
  }
  void send(std::uint8_t mode, double degrees = 90, double hz = 44000) {
    FrameFields f;
    f.mode = mode;
    f.freqWord = frequencyWord(hz).value();
    f.phaseWord = phaseWord(degrees).value();
    f.poutHi = 1;
    for (const auto& w : frameWrites(f)) {
      std::uint32_t written = 0;
      ASSERT_EQ(board->write(h, w, written), ft::OK);
      ASSERT_EQ(written, w.size());
    }
  }
  std::string readAll() {
    std::uint32_t n = 0;
    EXPECT_EQ(board->queueStatus(h, n), ft::OK);
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t got = 0;
    EXPECT_EQ(board->read(h, bytes, got), ft::OK);
    return std::string(bytes.begin(), bytes.begin() + got);
  }

  double now = 0;
  std::unique_ptr<SimBoard> board;
  LinkHandle h = nullptr;
};

TEST_F(SimBoardTest, OnlyARequestIsAnsweredHeaderOnlyOrWhole) {
  openBoard();
  // Phase 45.6 degrees puts the bytes 02 07 in the phase write: not a request.
  for (std::uint8_t mode : {1, 3, 4, 8}) send(mode, 45.6);
  now = 100;
  EXPECT_EQ(readAll(), "");
  ASSERT_EQ(board->frames().size(), 4u);
  EXPECT_EQ(board->frames().back().fields.phaseWord, 0x0207);

  send(7, 90, 149);
  now = 150;
  EXPECT_EQ(readAll().substr(0, 5), "ADC&H");
  EXPECT_TRUE(board->frames().back().headerOnly);
}

TEST_F(SimBoardTest, RepliesAfterTheirLatencyAndTheirFaults) {
  const struct {
    const char* fault;
    double readAt;
    std::size_t size;
  } cases[] = {{"", 19, 0},        {"", 20, 10},    {"silent", 1000, 0}, {"short", 50, 7},
               {"garbled", 50, 10}, {"late", 50, 0}, {"late", 100, 10}};
  for (const auto& c : cases) {
    now = 0;
    openBoard(c.fault);
    send(7);
    now = c.readAt;
    std::string reply = readAll();
    EXPECT_EQ(reply.size(), c.size) << c.fault << " at " << c.readAt;
    EXPECT_TRUE(std::string(c.fault) != "garbled" || reply.find("ADC") == std::string::npos) << reply;
  }
  EXPECT_EQ(readAll(), "");  // read once, gone
}

TEST_F(SimBoardTest, LinesAndCloseFollowTheCallsUntilUnplugged) {
  openBoard();
  EXPECT_EQ(board->setDtr(h), ft::OK);
  EXPECT_EQ(board->setRts(h), ft::OK);
  EXPECT_TRUE(board->dtr() && board->rts());
  EXPECT_EQ(board->clrDtr(h), ft::OK);
  EXPECT_EQ(board->setDtr(nullptr), ft::INVALID_HANDLE);  // no device opened: nothing changes
  EXPECT_FALSE(board->dtr());
  EXPECT_EQ(board->close(h), ft::OK);
  EXPECT_EQ(board->setDtr(h), ft::INVALID_HANDLE);
  EXPECT_FALSE(board->isOpen());

  openBoard("unplug=3");  // the open was call 1
  EXPECT_EQ(board->reset(h), ft::OK);
  EXPECT_EQ(board->clrRts(h), ft::OK);
  EXPECT_EQ(board->clrDtr(h), ft::DEVICE_NOT_FOUND);
  std::uint8_t header[] = {0x02, 0x01};
  std::uint32_t written = 99;
  EXPECT_EQ(board->write(h, std::span(header, 2), written), ft::DEVICE_NOT_FOUND);
  EXPECT_EQ(written, 0u);
}

// The options set the motor's drift, jumps and idle current; jumps due by a time add up, also two at the same time.
TEST(SimOptions, DriftJumpsAndIdle) {
  std::string error;
  auto o = parseOptions({"--sim-drift", "-2.5", "--sim-jump=200@5000", "--sim-jump", "-50@0", "--sim-jump", "30@5000",
                         "--sim-idle", "2000"},
                        error);
  ASSERT_TRUE(o) << error;
  const MotorModel& m = o->backend.sim.model;
  EXPECT_EQ(m.idleCounts, 2000);
  EXPECT_DOUBLE_EQ(m.resonanceAt(0), 44100 - 50);
  EXPECT_DOUBLE_EQ(m.resonanceAt(4999), 44100 - 12.4975 - 50);
  EXPECT_DOUBLE_EQ(m.resonanceAt(5000), 44100 - 12.5 - 50 + 230);
  std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"--sim-drift", "fast"}, "option --sim-drift needs a number, not 'fast'"},
      {{"--sim-idle", "-1"}, "option --sim-idle needs a number from 0 to 100000, not '-1'"},
      {{"--sim-idle", "100001"}, "option --sim-idle needs a number from 0 to 100000, not '100001'"},
  };
  for (std::string jump : {"x", "200", "200@", "@5", "200@-1", "1@2@3"})
    bad.push_back({{"--sim-jump=" + jump}, "option --sim-jump needs HZ@MS, not '" + jump + "'"});
  for (const auto& [args, message] : bad) {
    error.clear();
    EXPECT_FALSE(parseOptions(args, error));
    EXPECT_EQ(error, message);
  }
}

// Every fault in the table parses as --help names it (a count for a counted one), alone and in a list.
TEST(SimFaults, EveryFaultParsesAndUnknownOnesAreRefused) {
  std::string error, all;
  std::size_t uncounted = 0;
  for (const auto& f : kFaults) {
    SCOPED_TRACE(f.name);
    const std::string item = std::string(f.name) + (f.counted ? "=40" : "");
    all += item + ",,";
    uncounted += f.counted ? 0 : 1;
    SimConfig c;
    ASSERT_TRUE(parseFaults(item, c, error)) << error;
    EXPECT_EQ(faultCount(c, f), f.counted ? std::optional<std::uint64_t>(40) : std::nullopt);
    EXPECT_EQ(c.faults.size(), f.counted ? 0u : 1u);
  }
  SimConfig config;
  ASSERT_TRUE(parseFaults(all, config, error)) << error;
  EXPECT_EQ(config.faults.size(), uncounted);
  EXPECT_EQ(config.unplugAfterCalls, 40u);
  for (const char* bad : {"opne", "open=3", "unplug", "unplug=", "unplug=x", "unplug=N", "unplug=-1"}) {
    SimConfig c;
    EXPECT_FALSE(parseFaults(bad, c, error)) << bad;
    EXPECT_NE(error.find(std::string("sim fault '") + bad + "'"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tavrin::sim
