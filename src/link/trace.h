// The link trace: one line per operation, "TIME_MS CALL ARGS -> STATUS", and
// after each frame a decoded line. Wraps any backend. Operations carry the
// names of the D2XX calls (FT_Write, FT_ClrDtr ...) whichever backend performs
// them, so traces of every backend compare line by line.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "link/link.h"
#include "link/frame.h"

namespace tavrin {

class TracingLink : public Link {
 public:
  TracingLink(Link& inner, std::ostream& out, std::function<double()> clockMs)
      : inner_(inner), out_(out), clock_(std::move(clockMs)) {}
  ~TracingLink() override;

  TAVRIN_LINK_OPERATIONS_OVERRIDDEN
  std::string lastProblem() const override { return inner_.lastProblem(); }

  // Writes out a header still waiting to be decoded (at the end of a run).
  void flush();
  // Runs once, at the first line the stream cannot take (a full disk, /dev/full).
  void onWriteFailure(std::function<void()> report) { onFailure_ = std::move(report); }
  bool failed() const { return failed_; }

 private:
  void line(const std::string& text);
  void otherCall();
  LinkStatus simple(const char* name, const std::string& args, LinkStatus status);

  Link& inner_;
  std::ostream& out_;
  std::function<double()> clock_;
  FrameAssembler frames_;
  std::function<void()> onFailure_;
  bool failed_ = false;
};

// Two-digit upper-case hex bytes separated by blanks: "02 01".
std::string hexBytes(const std::uint8_t* data, std::size_t n);

}  // namespace tavrin
