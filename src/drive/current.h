// One current reading: a mode 7 request, a 50 ms wait, a read of whatever the
// board queued, scaled to mA; the running maximum, ADC overflow and the log line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/files.h"
#include "form/mainform.h"
#include "form/waits.h"
#include "drive/device_link.h"

namespace tavrin {

// The longest reply read at once. A board answers with about ten bytes; a
// queue count beyond this is a misbehaving link, and the rest stays queued.
inline constexpr std::uint32_t kMaxReplyBytes = 65536;

// One line of the sweep and current logs: volts, hertz, mA ("1.3,44000,57").
std::string currentLogLine(std::int32_t poutTenths, std::int32_t hertz, std::int32_t milliamps);

// A reading as it was taken, for a view that follows them (the plot window).
struct CurrentSample {
  double ms = 0;  // the toolkit's time of the reading
  std::int32_t hz = 0, mA = 0;
  std::int32_t poutTenths = 0;
};

class CurrentReader {
 public:
  CurrentReader(Mainform& form, Waits& waits, DeviceLink& link, const PathMapper& paths)
      : f_(form), waits_(waits), link_(link), paths_(paths) {}

  // Reads the current; appends the reading to LogFilePath when log is true.
  // A frequency box that is not a whole 32-bit number, a reply of fewer than 8
  // bytes or a count that does not fit: nothing changes.
  void ReadCurrent(bool log);

  // Log lines that could not be written so far (each also shown in Info).
  int logFailures() const { return logFailures_; }

  // Told of every reading that set CurrentmA, after its log line. It only
  // looks: it must not send to the board, wait or change the form.
  std::function<void(const CurrentSample&)> onReading;

 private:
  Mainform& f_;
  Waits& waits_;
  DeviceLink& link_;
  const PathMapper& paths_;
  int logFailures_ = 0;
};

}  // namespace tavrin
