#include "drive/current.h"

#include <cmath>
#include <vector>

#include "core/numbers.h"

namespace tavrin {

std::string currentLogLine(std::int32_t poutTenths, std::int32_t hertz, std::int32_t milliamps) {
  return shortestDecimal(poutTenths / 10.0) + "," + std::to_string(hertz) + "," + std::to_string(milliamps);
}

void CurrentReader::ReadCurrent(bool log) {
  auto freq = wholeNumber(f_.txtFrekvens_DDS1.text);
  auto readingFreq = freq ? toInt32(*freq) : std::nullopt;
  if (!readingFreq) {
    link_.note("Not measured: the frequency is not a number");
    return;
  }
  std::string whyNot;
  if (!link_.currentFrame(&whyNot)) {  // e.g. the phase box: no request can go out
    link_.note(whyNot);
    return;
  }
  f_.ReadingFreq = *readingFreq;
  f_.DriveMode = 7;
  f_.PoutByteHi = 1;
  link_.SendDriveSettings();
  waits_.Delay(50);

  Module1& m = f_.module1;
  Link& ft = link_.link();
  // A failed call may leave the count alone; a stale count would make the read
  // wait for bytes that never come.
  m.RxQueueCount = 0;
  m.LastStatus = ft.queueStatus(m.DeviceHandle, m.RxQueueCount);
  std::uint32_t want = m.RxQueueCount < kMaxReplyBytes ? m.RxQueueCount : kMaxReplyBytes;
  std::vector<std::uint8_t> buffer(want + 1, ' ');  // never empty: some libraries refuse a null buffer
  std::uint32_t got = 0;
  m.LastStatus = ft.read(m.DeviceHandle, std::span(buffer.data(), want), got);
  if (got > want) got = want;  // never trust a count beyond what was asked
  auto raw = currentReplyCount(std::string_view(reinterpret_cast<const char*>(buffer.data()), got));
  if (!raw) return;
  double scaled = std::floor(f_.FullScalemA / 1024.0 * *raw) - f_.CurrentOffset;
  auto current = toInt32(scaled);
  if (!current) return;

  if (*raw > 1000) {
    f_.AdcOverflow = true;
    f_.setForecolor(f_.Label1, colors::red);
  }
  f_.CurrentmA = *current;
  f_.setText(f_.txtDMMvalue, std::to_string(f_.CurrentmA));
  if (f_.CurrentmA > f_.MaxCurrent) {
    f_.MaxCurrent = f_.CurrentmA;
    f_.MaxCurrentFreq = f_.ReadingFreq;
  }
  if (log) {
    auto r = appendLine(paths_.map(f_.LogFilePath),
                        currentLogLine(f_.PoutValue, f_.ReadingFreq, f_.CurrentmA));
    if (!r.ok()) {
      ++logFailures_;
      f_.setForecolor(f_.Info, colors::red);
      f_.setText(f_.Info, "Log ERROR: cannot write " + f_.LogFilePath + " (" + r.detail + ")");
    }
  }
  if (onReading) onReading({f_.toolkit.nowMs(), f_.ReadingFreq, f_.CurrentmA, f_.PoutValue});
}

}  // namespace tavrin
