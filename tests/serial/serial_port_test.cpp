// The serial-port backend over a pseudo-terminal: honest statuses where a pty
// has no modem lines, and with the simulated board served on the other side
// (frames with an escaped byte, current replies, the lines).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/inband_lines.h"
#include "link/serial_port.h"
#include "sim/pty_board.h"

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Decoding is crossed end to end by ServedBoard below; here what a partial
// write of escaped bytes counts as sent.
TEST(InbandLines, DoublesTheEscapeAndCountsOnlyWholeDataBytesSent) {
  const Bytes data = {0x02, 0xFF, 0x03};
  EXPECT_EQ(inband::encodeWrite(data), (Bytes{0x02, 0xFF, 0xFF, 0x03, 0xFF, inband::kEndOfWrite}));
  EXPECT_EQ(inband::dataBytesSent(data, 1), 1u);
  EXPECT_EQ(inband::dataBytesSent(data, 2), 1u);  // half an escaped byte is none
  EXPECT_EQ(inband::dataBytesSent(data, 3), 2u);
}

// A pty whose far side nobody serves: the backend alone.
TEST(SerialPort, OnAPtyWithoutInbandLinesTheLinesFailHonestly) {
  sim::PtyBoard pty({});
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  SerialPort port(pty.slavePath(), false);

  std::string description;
  ASSERT_EQ(port.deviceDescription(0, description), ft::OK);
  LinkHandle h = nullptr, second = nullptr;
  EXPECT_EQ(port.openByDescription("another board", h), ft::DEVICE_NOT_FOUND);
  ASSERT_EQ(port.openByDescription(description, h), ft::OK);
  EXPECT_EQ(port.openByDescription(description, second), ft::DEVICE_NOT_OPENED);  // one open at a time

  EXPECT_EQ(port.setBaudRate(h, 12345), ft::INVALID_BAUD_RATE);
  EXPECT_EQ(port.setDataCharacteristics(h, 5, 0, 0), ft::INVALID_PARAMETER);
  EXPECT_EQ(port.setFlowControl(h, 0x0100, 0, 0), ft::NOT_SUPPORTED);
  for (LinkStatus s : {port.setDtr(h), port.clrDtr(h), port.setRts(h), port.clrRts(h)})
    EXPECT_EQ(s, ft::NOT_SUPPORTED);

  const Bytes frame = {0x02, 0xFF, 0x03};
  std::uint32_t written = 0, got = 9;
  EXPECT_EQ(port.write(h, frame, written), ft::OK);
  EXPECT_EQ(written, 3u);
  Bytes buffer(8);
  EXPECT_EQ(port.read(h, buffer, got), ft::OK);  // nothing there: never waits
  EXPECT_EQ(got, 0u);

  EXPECT_EQ(port.close(h), ft::OK);
  EXPECT_EQ(port.write(h, frame, written), ft::INVALID_HANDLE);
  EXPECT_EQ(port.close(h), ft::INVALID_HANDLE);
  ASSERT_EQ(port.openByDescription(description, h), ft::OK);  // given back at close
}

TEST(SerialPort, APathThatIsNoPortIsNotFoundOrNotOpened) {
  SerialPort missing("/nonexistent/ttyUSB9", false);
  std::uint32_t count = 9;
  EXPECT_EQ(missing.deviceCount(count), ft::OK);
  EXPECT_EQ(count, 0u);
  std::string text;
  EXPECT_EQ(missing.deviceDescription(0, text), ft::DEVICE_NOT_FOUND);

  SerialPort notATty("/dev/null", false);
  LinkHandle h = nullptr;
  EXPECT_EQ(notATty.openByDescription("/dev/null", h), ft::DEVICE_NOT_OPENED);
  EXPECT_FALSE(notATty.lastError().empty());
}

// The simulated board served on a pty in a thread; the program's side talks
// to it through the backend with --inband-lines.
class ServedBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(served.open(error)) << error;
    server = std::thread([this] { served.serve([this] { return stop.load(); }); });
    port = std::make_unique<SerialPort>(served.slavePath(), true);
  }
  void TearDown() override { stopServing(); }
  void stopServing() {
    stop = true;
    if (server.joinable()) server.join();
  }
  void sendFrame(LinkHandle h, const FrameFields& f) {
    for (const auto& w : frameWrites(f)) {
      std::uint32_t written = 0;
      ASSERT_EQ(port->write(h, w, written), ft::OK);
      ASSERT_EQ(written, w.size());
    }
  }
  // Waits (up to a second) for a whole reply and returns its count.
  std::int32_t replyCount(LinkHandle h) {
    std::uint32_t queued = 0;
    for (int i = 0; i < 1000 && queued < 10; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_EQ(port->queueStatus(h, queued), ft::OK);
    }
    Bytes buffer(queued);
    std::uint32_t got = 0;
    EXPECT_EQ(port->read(h, buffer, got), ft::OK);
    const std::string reply(buffer.begin(), buffer.begin() + got);
    EXPECT_EQ(reply.substr(0, 5), "ADC&H");
    EXPECT_EQ(reply.size(), 10u) << reply;
    return currentReplyCount(reply).value_or(-1);
  }

  sim::PtyBoard served{sim::SimConfig{}};
  std::atomic<bool> stop{false};
  std::thread server;
  std::unique_ptr<SerialPort> port;  // made once the pty has its path
};

// (The program's start-up over a served pty, and its frames and readings: the contract test's serial runs.)
TEST_F(ServedBoard, FramesARepliesAndTheLinesCrossThePty) {
  LinkHandle h = nullptr;
  ASSERT_EQ(port->openByDescription(served.slavePath(), h), ft::OK);
  ASSERT_EQ(port->setRts(h), ft::OK);
  ASSERT_EQ(port->setDtr(h), ft::OK);
  FrameFields f;
  f.mode = 1;
  f.freqWord = frequencyWord(44100).value();  // the board's peak
  f.phaseWord = 0x0FFF;  // a data byte FF crosses as FF FF
  f.poutHi = 1;
  f.poutLo = 90;
  sendFrame(h, f);
  f.mode = 7;
  sendFrame(h, f);
  const std::int32_t driven = replyCount(h);
  ASSERT_EQ(port->clrDtr(h), ft::OK);
  sendFrame(h, f);
  const std::int32_t idle = replyCount(h);  // the enable line is clear: the idle count
  EXPECT_GT(driven, 100);
  EXPECT_LT(idle, 50);
  ASSERT_EQ(port->close(h), ft::OK);

  stopServing();
  sim::SimBoard& board = served.board();
  EXPECT_FALSE(board.dtr());
  EXPECT_TRUE(board.rts());
  ASSERT_EQ(board.frames().size(), 3u);
  EXPECT_EQ(board.frames()[0].describe(), "frame mode 1 freq 2959501 (44100 Hz) phase 4095 supply 01 5A");
  EXPECT_EQ(board.frames()[2].describe(), "frame mode 7 freq 2959501 (44100 Hz) phase 4095 supply 01 5A");
  EXPECT_EQ(served.droppedBytes(), 0u);
}

}  // namespace
}  // namespace tavrin
