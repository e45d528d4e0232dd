// The serial-port backend over a pseudo-terminal: honest statuses where a pty
// has no modem lines, and end to end with the simulated board served on the
// other side (the eleven set-up steps, frames, a current reply, the lines).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/virtual_toolkit.h"
#include "drive/device_link.h"
#include "form/mainform.h"
#include "link/frame.h"
#include "link/inband_lines.h"
#include "link/serial_port.h"
#include "sim/pty_board.h"

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(InbandLines, DoublesTheEscapeEndsEachWriteAndReadsBack) {
  const Bytes data = {0x02, 0xFF, 0x03};
  const Bytes encoded = inband::encodeWrite(data);
  EXPECT_EQ(encoded, (Bytes{0x02, 0xFF, 0xFF, 0x03, 0xFF, inband::kEndOfWrite}));
  EXPECT_EQ(inband::dataBytesSent(data, 1), 1u);
  EXPECT_EQ(inband::dataBytesSent(data, 2), 1u);  // half an escaped byte is none
  EXPECT_EQ(inband::dataBytesSent(data, 3), 2u);

  Bytes stream = inband::encodeLine(inband::kDtrOn);
  stream.insert(stream.end(), encoded.begin(), encoded.end());
  inband::Decoder d;
  std::string seen;
  for (std::uint8_t b : stream) {
    auto e = d.feed(b);
    if (e.kind == inband::Decoder::Kind::Data) seen += "D" + std::to_string(e.value) + " ";
    if (e.kind == inband::Decoder::Kind::Line) seen += "L" + std::to_string(e.value) + " ";
    if (e.kind == inband::Decoder::Kind::EndOfWrite) seen += "E ";
  }
  EXPECT_EQ(seen, "L1 D2 D255 D3 E ");
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

// The simulated board served on a pty in a thread, and beside it a board of
// the same settings that the test feeds the same calls directly.
class ServedBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(served.open(error)) << error;
    server = std::thread([this] { served.serve([this] { return stop.load(); }); });
    port = std::make_unique<SerialPort>(served.slavePath(), true);
    ASSERT_EQ(reference.openByDescription(reference.config().description, ref), ft::OK);
  }
  void TearDown() override { stopServing(); }
  void stopServing() {
    stop = true;
    if (server.joinable()) server.join();
  }
  // The program's writes of one frame, to both boards.
  void sendFrame(LinkHandle h, const FrameFields& f) {
    for (const auto& w : frameWrites(f)) {
      std::uint32_t written = 0;
      ASSERT_EQ(port->write(h, w, written), ft::OK);
      ASSERT_EQ(written, w.size());
      ASSERT_EQ(reference.write(ref, w, written), ft::OK);
    }
  }
  // Waits (up to a second) for `n` reply bytes, then reads them.
  std::string reply(LinkHandle h, std::uint32_t n) {
    std::uint32_t queued = 0;
    for (int i = 0; i < 1000 && queued < n; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_EQ(port->queueStatus(h, queued), ft::OK);
    }
    Bytes buffer(queued);
    std::uint32_t got = 0;
    EXPECT_EQ(port->read(h, buffer, got), ft::OK);
    return std::string(buffer.begin(), buffer.begin() + got);
  }
  std::string referenceReply() {
    refNow += 1000;  // past its reply's due time
    std::uint32_t n = 0, got = 0;
    reference.queueStatus(ref, n);
    Bytes buffer(n);
    reference.read(ref, buffer, got);
    return std::string(buffer.begin(), buffer.begin() + got);
  }

  sim::SimConfig config() {
    sim::SimConfig c;
    c.model.seed = 7;
    return c;
  }
  sim::PtyBoard served{config()};
  double refNow = 0;  // the reference board's clock, moved by the test
  sim::SimBoard reference{config(), [this] { return refNow; }};
  LinkHandle ref = nullptr;
  std::atomic<bool> stop{false};
  std::thread server;
  std::unique_ptr<SerialPort> port;  // the program's side, with --inband-lines
};

TEST_F(ServedBoard, OpenCommPortFramesARepliesAndTheLinesCrossThePty) {
  VirtualToolkit tk;
  Mainform form(tk);
  SerialPort link(served.slavePath(), true);
  DeviceLink device(form, link);
  device.OpenCommPort();
  const Module1& m = form.module1;
  ASSERT_EQ(m.LastStatus, ft::OK) << form.Info.text;
  ASSERT_EQ(link.close(m.DeviceHandle), ft::OK);

  LinkHandle h = nullptr;
  ASSERT_EQ(port->openByDescription(served.slavePath(), h), ft::OK);
  ASSERT_EQ(port->setRts(h), ft::OK);
  ASSERT_EQ(port->setDtr(h), ft::OK);
  reference.setRts(ref);
  reference.setDtr(ref);

  FrameFields f;
  f.mode = 1;
  f.freqWord = frequencyWord(44100).value();
  f.phaseWord = 0x0FFF;  // a data byte FF crosses as FF FF
  f.poutHi = 1;
  f.poutLo = 90;
  sendFrame(h, f);
  f.mode = 7;
  sendFrame(h, f);
  const std::string first = reply(h, 10);
  EXPECT_EQ(first.substr(0, 5), "ADC&H");
  EXPECT_EQ(first, referenceReply());

  ASSERT_EQ(port->clrDtr(h), ft::OK);
  reference.clrDtr(ref);
  sendFrame(h, f);
  EXPECT_EQ(reply(h, 10), referenceReply());  // the idle count, with the same noise
  ASSERT_EQ(port->close(h), ft::OK);

  stopServing();
  sim::SimBoard& board = served.board();
  EXPECT_FALSE(board.dtr());
  EXPECT_TRUE(board.rts());
  ASSERT_EQ(board.frames().size(), 3u);
  for (std::size_t i = 0; i < board.frames().size(); ++i)
    EXPECT_EQ(board.frames()[i].describe(), reference.frames()[i].describe()) << i;
  EXPECT_EQ(board.frames()[0].fields.phaseWord, 0x0FFF);
  EXPECT_EQ(served.droppedBytes(), 0u);
}

}  // namespace
}  // namespace tavrin
