#include "sim/served_board.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "link/frame.h"

namespace tavrin::sim {

namespace {
// A frame's writes follow each other at once (SendDriveSettings never
// yields). A frame still incomplete after this long was all there was (a
// header alone): only then may the board be asked for replies, since any
// call would end the frame, as under --board sim the program's next call does.
constexpr double kFrameGapMs = 5;
// serve() looks at its stop condition at least this often.
constexpr int kStopCheckMs = 50;

// The sizes of a whole frame's writes, from the frame's own encoder.
const std::vector<std::size_t>& frameWriteSizes() {
  static const std::vector<std::size_t> sizes = [] {
    std::vector<std::size_t> out;
    FrameFields whole;
    whole.freqWord = kHeaderOnlyMaxWord + 1;
    for (const auto& w : frameWrites(whole)) out.push_back(w.size());
    return out;
  }();
  return sizes;
}

bool setNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}
}  // namespace

std::optional<std::vector<std::uint8_t>> WriteCutter::feed(std::uint8_t byte) {
  if (part_ == 0 && held_.empty() && byte != kStx) return std::vector<std::uint8_t>{byte};
  held_.push_back(byte);
  const auto& sizes = frameWriteSizes();
  if (held_.size() < sizes[part_]) return std::nullopt;
  part_ = (part_ + 1) % sizes.size();
  return std::exchange(held_, {});
}

std::optional<std::vector<std::uint8_t>> WriteCutter::timeOut() {
  part_ = 0;
  if (held_.empty()) return std::nullopt;
  return std::exchange(held_, {});
}

ServedBoard::ServedBoard(SimConfig config) : config_(std::move(config)) { plugIn(); }

ServedBoard::~ServedBoard() {
  if (io_ >= 0) ::close(io_);
  if (slave_ >= 0) ::close(slave_);
  if (listen_ >= 0) {
    ::close(listen_);
    ::unlink(path_.c_str());
  }
}

std::vector<std::string> ServedBoard::unservableFaults(const SimConfig& config) {
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

double ServedBoard::nowMs() const {
  if (!origin_) return 0;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - *origin_).count();
}

// A board as it is when powered up: its clock starts at the first byte.
void ServedBoard::plugIn() {
  board_ = std::make_unique<SimBoard>(config_, [this] { return nowMs(); });
  origin_.reset();
  decoder_ = {};
  cutter_ = {};
  write_.clear();
  // Only the open fault refuses this, and it is not servable.
  board_->openByDescription(config_.description, handle_);
}

bool ServedBoard::openPty(std::string& error) {
  auto fail = [&](const char* what) {
    error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  io_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (io_ < 0) return fail("posix_openpt");
  if (::grantpt(io_) != 0) return fail("grantpt");
  if (::unlockpt(io_) != 0) return fail("unlockpt");
  const char* name = ::ptsname(io_);
  if (!name) return fail("ptsname");
  path_ = name;
  // Held open for the server's life: the master then never sees a hang-up
  // between two programs, and the slave is raw (no echo of the replies) from
  // the start.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave_ < 0) return fail("open of the slave side");
  termios t{};
  if (::tcgetattr(slave_, &t) != 0) return fail("tcgetattr");
  ::cfmakeraw(&t);
  if (::tcsetattr(slave_, TCSANOW, &t) != 0) return fail("tcsetattr");
  if (!setNonBlocking(io_)) return fail("fcntl");
  return true;
}

bool ServedBoard::listen(const std::string& path, bool linesFromFrames, std::string& error) {
  socket_ = true;
  linesFromFrames_ = linesFromFrames;
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    error = "a socket path must have 1 to " + std::to_string(sizeof address.sun_path - 1) + " bytes";
    return false;
  }
  std::copy(path.begin(), path.end(), address.sun_path);
  address.sun_family = AF_UNIX;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      error = "'" + path + "' exists and is not a socket: it is left alone";
      return false;
    }
    ::unlink(path.c_str());  // a socket left by an earlier run
  }
  auto fail = [&](const char* what) {
    error = std::string(what) + " '" + path + "': " + std::strerror(errno);
    return false;
  };
  listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_ < 0) return fail("socket for");
  if (::bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(listen_);
    listen_ = -1;
    return fail("cannot bind");
  }
  path_ = path;
  if (::listen(listen_, 1) != 0 || !setNonBlocking(listen_)) return fail("cannot listen on");
  return true;
}

void ServedBoard::writeToBoard(const std::vector<std::uint8_t>& bytes) {
  if (linesFromFrames_ && bytes.size() == 2 && bytes[0] == kStx) {
    // The enable line as the program sets it just before this frame.
    if (bytes[1] == 4) board_->clrDtr(handle_);
    else if (bytes[1] != 7) board_->setDtr(handle_);
  }
  std::uint32_t written = 0;
  board_->write(handle_, bytes, written);
}

void ServedBoard::onPlainByte(std::uint8_t byte) {
  if (auto w = cutter_.feed(byte)) writeToBoard(*w);
}

void ServedBoard::onInput(const std::uint8_t* data, std::size_t n) {
  if (!origin_) origin_ = std::chrono::steady_clock::now();
  // Bytes after a pause: a header held so far stood alone.
  if (socket_ && cutter_.holding() && nowMs() - lastInputMs_ >= kFrameGapMs) {
    if (auto w = cutter_.timeOut()) writeToBoard(*w);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (socket_) {
      onPlainByte(data[i]);
      continue;
    }
    inband::Decoder::Event e = decoder_.feed(data[i]);
    switch (e.kind) {
      case inband::Decoder::Kind::Data:
        write_.push_back(e.value);
        break;
      case inband::Decoder::Kind::EndOfWrite:
        writeToBoard(std::exchange(write_, {}));
        break;
      case inband::Decoder::Kind::Line:
        if (!write_.empty()) writeToBoard(std::exchange(write_, {}));  // bytes without their end mark: a write all the same
        if (e.value == inband::kDtrOn) board_->setDtr(handle_);
        if (e.value == inband::kDtrOff) board_->clrDtr(handle_);
        if (e.value == inband::kRtsOn) board_->setRts(handle_);
        if (e.value == inband::kRtsOff) board_->clrRts(handle_);
        break;
      case inband::Decoder::Kind::Unknown:
      case inband::Decoder::Kind::None:
        break;
    }
  }
  lastInputMs_ = nowMs();
}

bool ServedBoard::frameInProgress() const { return board_->frameInProgress() || cutter_.holding(); }

void ServedBoard::deliver() {
  if (io_ < 0) return;
  const double now = nowMs();
  if (frameInProgress()) {
    if (now - lastInputMs_ < kFrameGapMs) return;
    if (auto w = cutter_.timeOut()) writeToBoard(*w);
  } else {
    auto due = board_->nextReplyDueMs();
    if (!due || *due > now) return;
  }
  std::uint32_t count = 0;
  if (board_->queueStatus(handle_, count) != ft::OK || count == 0) return;
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t got = 0;
  if (board_->read(handle_, bytes, got) != ft::OK) return;
  std::size_t sent = 0;
  while (sent < got) {
    ssize_t k = socket_ ? ::send(io_, bytes.data() + sent, got - sent, MSG_NOSIGNAL)
                        : ::write(io_, bytes.data() + sent, got - sent);
    if (k > 0) {
      sent += static_cast<std::size_t>(k);
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the far end's input is full: the program reads nothing
    }
  }
  dropped_ += got - sent;
}

void ServedBoard::endConnection() {
  ::close(io_);
  io_ = -1;
  plugIn();  // the next far end finds a board as powered up
}

void ServedBoard::serve(const std::function<bool()>& stop, int watchFd,
                        const std::function<void(bool)>& onConnection) {
  std::uint8_t buf[4096];
  while (!stop()) {
    // Wake for the next reply that falls due, or to end a lone header.
    double wait = kStopCheckMs;
    const double now = nowMs();
    if (frameInProgress()) {
      wait = std::min(wait, lastInputMs_ + kFrameGapMs - now);
    } else if (auto due = board_->nextReplyDueMs()) {
      wait = std::min(wait, *due - now);
    }
    int timeout = static_cast<int>(std::ceil(std::max(wait, 0.0)));

    // The far end (or, on a socket with nobody connected, the listener), then stdin.
    const int end = io_ >= 0 ? io_ : listen_;
    pollfd fds[2] = {{end, POLLIN, 0}, {watchFd, POLLIN, 0}};
    int r = ::poll(fds, watchFd >= 0 ? 2 : 1, timeout);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && end == listen_ && (fds[0].revents & POLLIN)) {
      io_ = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (io_ >= 0 && onConnection) onConnection(true);
    } else if (r > 0 && (fds[0].revents & POLLIN)) {
      ssize_t k = ::read(io_, buf, sizeof buf);
      if (k > 0) {
        onInput(buf, static_cast<std::size_t>(k));
      } else if (socket_ && (k == 0 || (errno != EINTR && errno != EAGAIN))) {
        endConnection();
        if (onConnection) onConnection(false);
      }
    } else if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
      if (socket_ && end == io_) {
        endConnection();
        if (onConnection) onConnection(false);
      } else {
        ::poll(nullptr, 0, 10);  // not expected while the pty's slave is held; never spin on it
      }
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
