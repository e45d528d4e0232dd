// The simulated board at the library's edge: frames, current replies and their faults, unplugging.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    ASSERT_EQ(board->openEx(description.data(), ft::OPEN_BY_DESCRIPTION, &h), ft::OK);
  }
  void send(std::uint8_t mode, double degrees = 90, double hz = 44000) {
    FrameFields f;
    f.mode = mode;
    f.freqWord = frequencyWord(hz).value();
    f.phaseWord = phaseWord(degrees).value();
    f.poutHi = 1;
    for (const auto& w : frameWrites(f)) {
      std::uint32_t written = 0;
      ASSERT_EQ(board->write(h, w.data(), static_cast<std::uint32_t>(w.size()), &written), ft::OK);
      ASSERT_EQ(written, w.size());
    }
  }
  std::string readAll() {
    std::uint32_t n = 0;
    EXPECT_EQ(board->getQueueStatus(h, &n), ft::OK);
    std::string s(n, '\0');
    std::uint32_t got = 0;
    EXPECT_EQ(board->read(h, s.data(), n, &got), ft::OK);
    s.resize(got);
    return s;
  }

  double now = 0;
  std::unique_ptr<SimBoard> board;
  FtHandle h = nullptr;
};

TEST_F(SimBoardTest, AnswersACurrentRequestAfterItsLatency) {
  openBoard();
  send(7);
  now = 19;
  EXPECT_EQ(readAll(), "");
  now = 20;
  std::string reply = readAll();
  ASSERT_EQ(reply.size(), 10u) << reply;
  EXPECT_EQ(reply.substr(0, 5), "ADC&H");
  EXPECT_EQ(reply.substr(8), "\r\n");
  EXPECT_EQ(readAll(), "");  // read once, gone
}

TEST_F(SimBoardTest, OnlyARequestIsAnswered) {
  openBoard();
  // Phase 45.6 degrees puts the bytes 02 07 in the phase write: not a request.
  for (std::uint8_t mode : {1, 3, 4, 8}) send(mode, 45.6);
  now = 100;
  EXPECT_EQ(readAll(), "");
  ASSERT_EQ(board->frames().size(), 4u);
  EXPECT_EQ(board->frames().back().fields.phaseWord, 0x0207);
}

TEST_F(SimBoardTest, HeaderOnlyRequestIsAnsweredToo) {
  openBoard();
  send(7, 90, 149);
  now = 50;
  EXPECT_EQ(readAll().substr(0, 5), "ADC&H");
  ASSERT_FALSE(board->frames().empty());
  EXPECT_TRUE(board->frames().front().headerOnly);
}

TEST_F(SimBoardTest, ReplyFaults) {
  struct Case {
    const char* fault;
    double readAt;
    std::size_t size;
  };
  const Case cases[] = {{"silent", 1000, 0}, {"short", 50, 7}, {"garbled", 50, 10}, {"late", 50, 0},
                        {"late", 100, 10}};
  for (const auto& c : cases) {
    now = 0;
    openBoard(c.fault);
    send(7);
    now = c.readAt;
    std::string reply = readAll();
    EXPECT_EQ(reply.size(), c.size) << c.fault << " at " << c.readAt;
    if (std::string(c.fault) == "garbled") {
      EXPECT_EQ(reply.find("ADC"), std::string::npos) << reply;
    }
  }
}

TEST_F(SimBoardTest, LinesAndCloseFollowTheCalls) {
  openBoard();
  EXPECT_EQ(board->setDtr(h), ft::OK);
  EXPECT_EQ(board->setRts(h), ft::OK);
  EXPECT_TRUE(board->dtr());
  EXPECT_TRUE(board->rts());
  EXPECT_EQ(board->clrDtr(h), ft::OK);
  EXPECT_FALSE(board->dtr());
  EXPECT_EQ(board->setDtr(nullptr), ft::INVALID_HANDLE);  // no device opened: nothing changes
  EXPECT_FALSE(board->dtr());
  EXPECT_EQ(board->close(h), ft::OK);
  EXPECT_EQ(board->closeCount(), 1);
  EXPECT_EQ(board->setDtr(h), ft::INVALID_HANDLE);
  EXPECT_FALSE(board->isOpen());
}

TEST_F(SimBoardTest, UnpluggedBoardFailsEveryLaterCall) {
  openBoard("unplug=3");  // the open was call 1
  EXPECT_EQ(board->resetDevice(h), ft::OK);
  EXPECT_EQ(board->clrRts(h), ft::OK);
  EXPECT_EQ(board->clrDtr(h), ft::DEVICE_NOT_FOUND);
  std::uint8_t header[] = {0x02, 0x01};
  std::uint32_t written = 99;
  EXPECT_EQ(board->write(h, header, 2, &written), ft::DEVICE_NOT_FOUND);
  EXPECT_EQ(written, 0u);
}

TEST(SimFaults, ParseNamesAndRefuseUnknownOnes) {
  SimConfig config;
  std::string error;
  EXPECT_TRUE(parseFaults("open,,late,unplug=40", config, error)) << error;
  EXPECT_EQ(config.faults.count("open"), 1u);
  EXPECT_EQ(config.faults.count("late"), 1u);
  EXPECT_EQ(config.unplugAfterCalls, 40u);
  for (const char* bad : {"opne", "unplug=", "unplug=x", "unplug=N", "unplug=-1"}) {
    SimConfig c;
    EXPECT_FALSE(parseFaults(bad, c, error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tavrin::sim
