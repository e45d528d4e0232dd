#include "sim/pty_board.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tavrin::sim {

namespace {
// A frame's writes follow each other at once (SendDriveSettings never
// yields). A frame still incomplete after this long was all there was (a
// header alone): only then may the board be asked for replies, since any
// call would end the frame, as under --board sim the program's next call does.
constexpr double kFrameGapMs = 5;
// serve() looks at its stop condition at least this often.
constexpr int kStopCheckMs = 50;
}  // namespace

PtyBoard::PtyBoard(SimConfig config) : board_(std::move(config), [this] { return nowMs(); }) {}

PtyBoard::~PtyBoard() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

std::vector<std::string> PtyBoard::unservableFaults(const SimConfig& config) {
  std::vector<std::string> out;
  for (const auto& name : config.faults) {
    const FaultInfo* f = findFault(name);
    if (!f || !f->servable) out.push_back(name);
  }
  for (const auto& f : kFaults) {
    if (auto n = faultCount(config, f); n && !f.servable) out.push_back(std::string(f.name) + "=" + std::to_string(*n));
  }
  return out;
}

double PtyBoard::nowMs() const {
  if (!origin_) return 0;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - *origin_).count();
}

bool PtyBoard::open(std::string& error) {
  auto fail = [&](const char* what) {
    error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0) return fail("grantpt");
  if (::unlockpt(master_) != 0) return fail("unlockpt");
  const char* name = ::ptsname(master_);
  if (!name) return fail("ptsname");
  slavePath_ = name;
  // Held open for the server's life: the master then never sees a hang-up
  // between two programs, and the slave is raw (no echo of the replies) from
  // the start.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave_ < 0) return fail("open of the slave side");
  termios t{};
  if (::tcgetattr(slave_, &t) != 0) return fail("tcgetattr");
  ::cfmakeraw(&t);
  if (::tcsetattr(slave_, TCSANOW, &t) != 0) return fail("tcsetattr");
  int flags = ::fcntl(master_, F_GETFL);
  if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  if (board_.openByDescription(board_.config().description, handle_) != ft::OK) {
    error = "the simulated board did not open (a fault set on it?)";
    return false;
  }
  return true;
}

void PtyBoard::flushWrite() {
  std::uint32_t written = 0;
  board_.write(handle_, write_, written);
  write_.clear();
}

void PtyBoard::onInput(const std::uint8_t* data, std::size_t n) {
  if (!origin_) origin_ = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < n; ++i) {
    inband::Decoder::Event e = decoder_.feed(data[i]);
    switch (e.kind) {
      case inband::Decoder::Kind::Data:
        write_.push_back(e.value);
        break;
      case inband::Decoder::Kind::EndOfWrite:
        flushWrite();
        break;
      case inband::Decoder::Kind::Line:
        if (!write_.empty()) flushWrite();  // bytes without their end mark: a write all the same
        if (e.value == inband::kDtrOn) board_.setDtr(handle_);
        if (e.value == inband::kDtrOff) board_.clrDtr(handle_);
        if (e.value == inband::kRtsOn) board_.setRts(handle_);
        if (e.value == inband::kRtsOff) board_.clrRts(handle_);
        break;
      case inband::Decoder::Kind::Unknown:
      case inband::Decoder::Kind::None:
        break;
    }
  }
  lastInputMs_ = nowMs();
}

void PtyBoard::deliver() {
  const double now = nowMs();
  if (board_.frameInProgress()) {
    if (now - lastInputMs_ < kFrameGapMs) return;
  } else {
    auto due = board_.nextReplyDueMs();
    if (!due || *due > now) return;
  }
  std::uint32_t count = 0;
  if (board_.queueStatus(handle_, count) != ft::OK || count == 0) return;
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t got = 0;
  if (board_.read(handle_, bytes, got) != ft::OK) return;
  std::size_t sent = 0;
  while (sent < got) {
    ssize_t k = ::write(master_, bytes.data() + sent, got - sent);
    if (k > 0) {
      sent += static_cast<std::size_t>(k);
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the slave's input is full: the program reads nothing
    }
  }
  dropped_ += got - sent;
}

void PtyBoard::serve(const std::function<bool()>& stop, int watchFd) {
  std::uint8_t buf[4096];
  while (!stop()) {
    // Wake for the next reply that falls due, or to end a lone header.
    double wait = kStopCheckMs;
    const double now = nowMs();
    if (board_.frameInProgress()) {
      wait = std::min(wait, lastInputMs_ + kFrameGapMs - now);
    } else if (auto due = board_.nextReplyDueMs()) {
      wait = std::min(wait, *due - now);
    }
    int timeout = static_cast<int>(std::ceil(std::max(wait, 0.0)));

    pollfd fds[2] = {{master_, POLLIN, 0}, {watchFd, POLLIN, 0}};
    int r = ::poll(fds, watchFd >= 0 ? 2 : 1, timeout);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (fds[0].revents & POLLIN)) {
      ssize_t k = ::read(master_, buf, sizeof buf);
      if (k > 0) onInput(buf, static_cast<std::size_t>(k));
    } else if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
      ::poll(nullptr, 0, 10);  // not expected while the slave is held; never spin on it
    }
    if (r > 0 && watchFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t k = ::read(watchFd, buf, sizeof buf);
      if (k == 0) break;                             // end of file: the caller is gone
      if (k < 0 && errno != EINTR && errno != EAGAIN) watchFd = -1;  // unreadable (a background job's terminal)
    }
    deliver();
  }
}

}  // namespace tavrin::sim
