// The serial-port backend over a pseudo-terminal: honest statuses where a pty
// has no modem lines, and with the simulated board served on the other side
// (frames with an escaped byte, current replies, the lines).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/inband_lines.h"
#include "link/serial_port.h"
#include "sim/served_board.h"

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
  sim::ServedBoard pty({});
  std::string error;
  ASSERT_TRUE(pty.openPty(error)) << error;
  SerialPort port(pty.path(), false);

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
  const LinkHandle first = h;
  ASSERT_EQ(port.openByDescription(description, h), ft::OK);  // given back at close
  // Handles count the opens (a dump shows the same on every run); the first is stale now.
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h), 2u);
  EXPECT_EQ(port.write(first, frame, written), ft::INVALID_HANDLE);
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

// The far side gone (a USB adapter pulled out hangs its tty up): the close
// says the device is gone, as a chip's library does for a chip pulled out.
TEST(SerialPort, ClosingAPortThatHungUpSaysTheDeviceIsGone) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string path = ::ptsname(master);
  SerialPort port(path, false);
  LinkHandle h = nullptr;
  ASSERT_EQ(port.openByDescription(path, h), ft::OK);
  ::close(master);
  EXPECT_EQ(port.close(h), ft::DEVICE_NOT_FOUND);
  EXPECT_NE(port.lastError().find("gone away"), std::string::npos) << port.lastError();
}

// The simulated board served on a pty in a thread; the program's side talks
// to it through the backend with --inband-lines.
class ServedBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(served.openPty(error)) << error;
    server = std::thread([this] { served.serve([this] { return stop.load(); }); });
    port = std::make_unique<SerialPort>(served.path(), true);
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

  sim::ServedBoard served{sim::SimConfig{}};
  std::atomic<bool> stop{false};
  std::thread server;
  std::unique_ptr<SerialPort> port;  // made once the pty has its path
};

// (The program's start-up over a served pty, and its frames and readings: the contract test's serial runs.)
TEST_F(ServedBoard, FramesARepliesAndTheLinesCrossThePty) {
  LinkHandle h = nullptr;
  ASSERT_EQ(port->openByDescription(served.path(), h), ft::OK);
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

// The board on a socket, as QEMU's emulated FT232 reaches it: plain bytes,
// several writes arriving as one, no modem lines. The enable line follows the
// frames' modes; a new connection finds a board as powered up.
TEST(ServedBoardSocket, CutsThePlainStreamIntoFramesAndTakesTheEnableLineFromTheirModes) {
  const std::string path = (std::filesystem::temp_directory_path() / ("tavrin-board-" + std::to_string(::getpid()))).string();
  sim::ServedBoard served{sim::SimConfig{}};
  std::string error;
  ASSERT_TRUE(served.listen(path, true, error)) << error;
  std::atomic<bool> stop{false};
  std::atomic<int> connections{0};
  std::thread server([&] { served.serve([&] { return stop.load(); }, -1, [&](bool up) { connections += up; }); });

  auto connectToBoard = [&] {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
  };
  FrameFields f;
  f.freqWord = frequencyWord(44100).value();  // the board's peak
  f.poutHi = 1;
  f.poutLo = 90;
  // Sends frames in the modes given as one chunk, then a reading's frame, and
  // returns the reply's count.
  auto countAfter = [&](int fd, std::initializer_list<std::uint8_t> modes) {
    Bytes chunk;
    for (std::uint8_t mode : modes) {
      f.mode = mode;
      for (const auto& w : frameWrites(f)) chunk.insert(chunk.end(), w.begin(), w.end());
    }
    f.mode = 7;
    for (const auto& w : frameWrites(f)) chunk.insert(chunk.end(), w.begin(), w.end());
    EXPECT_EQ(::write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    std::string reply;
    char buffer[64];
    while (reply.size() < 10) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 2000) != 1) break;
      ssize_t k = ::read(fd, buffer, sizeof buffer);
      if (k <= 0) break;
      reply.append(buffer, static_cast<std::size_t>(k));
    }
    EXPECT_EQ(reply.size(), 10u) << reply;
    return currentReplyCount(reply).value_or(-1);
  };

  int fd = connectToBoard();
  const std::int32_t first = countAfter(fd, {1});
  EXPECT_GT(first, 100);                  // mode 1 set the enable line
  EXPECT_LT(countAfter(fd, {3, 4}), 50);  // mode 4 cleared it again
  EXPECT_GT(countAfter(fd, {8}), 100);
  ::close(fd);
  fd = connectToBoard();  // plugged in again: the board starts afresh, noise and all
  EXPECT_EQ(countAfter(fd, {1}), first);

  stop = true;  // before the close: the board seen is this connection's
  server.join();
  ::close(fd);
  EXPECT_EQ(connections.load(), 2);
  ASSERT_EQ(served.board().frames().size(), 2u);  // this connection's frames, whole
  EXPECT_EQ(served.board().frames()[1].describe(), "frame mode 7 freq 2959501 (44100 Hz) phase 0 supply 01 5A");
}

}  // namespace
}  // namespace tavrin
