#include "link/trace.h"

#include <cstdio>
#include <cstring>

namespace tavrin {

std::string hexBytes(const std::uint8_t* data, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", data[i]);
    if (i) s += ' ';
    s += buf;
  }
  return s;
}

namespace {
std::string hex32(std::uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}
std::string quoted(const char* s, std::size_t max) {
  std::size_t n = strnlen(s, max);
  return "\"" + std::string(s, n) + "\"";
}
}  // namespace

TracingD2xx::~TracingD2xx() { flush(); }

void TracingD2xx::line(const std::string& text) {
  char t[32];
  std::snprintf(t, sizeof t, "%.1f ", clock_());
  out_ << t << text << '\n';
  out_.flush();
  if (!out_ && !failed_) {
    failed_ = true;
    if (onFailure_) onFailure_();
  }
}

void TracingD2xx::otherCall() {
  if (auto f = frames_.onOtherCall()) line(f->describe());
}

void TracingD2xx::flush() { otherCall(); }

FtStatus TracingD2xx::simple(const char* name, const std::string& args, FtStatus status) {
  line(std::string(name) + (args.empty() ? "" : " " + args) + " -> " + std::to_string(status));
  return status;
}

FtStatus TracingD2xx::listDevices(void* arg1, void* arg2, std::uint32_t flags) {
  otherCall();
  FtStatus s = inner_.listDevices(arg1, arg2, flags);
  std::string text = "FT_ListDevices ";
  if (flags & ft::LIST_NUMBER_ONLY) {
    text += hex32(flags) + " -> " + std::to_string(s);
    if (s == ft::OK && arg1) text += " count " + std::to_string(*static_cast<std::uint32_t*>(arg1));
  } else {
    std::size_t size = (flags & ft::OPEN_BY_DESCRIPTION) ? 64 : 16;
    text += std::to_string(reinterpret_cast<std::uintptr_t>(arg1)) + " " + hex32(flags) + " -> " +
            std::to_string(s);
    if (s == ft::OK && arg2) text += " " + quoted(static_cast<const char*>(arg2), size);
  }
  line(text);
  return s;
}

FtStatus TracingD2xx::openEx(void* arg1, std::uint32_t flags, FtHandle* handle) {
  otherCall();
  FtStatus s = inner_.openEx(arg1, flags, handle);
  std::string what = (flags & (ft::OPEN_BY_DESCRIPTION | ft::OPEN_BY_SERIAL_NUMBER)) && arg1
                         ? quoted(static_cast<const char*>(arg1), 64)
                         : std::to_string(reinterpret_cast<std::uintptr_t>(arg1));
  return simple("FT_OpenEx", what + " " + std::to_string(flags), s);
}

FtStatus TracingD2xx::resetDevice(FtHandle h) {
  otherCall();
  return simple("FT_ResetDevice", "", inner_.resetDevice(h));
}
FtStatus TracingD2xx::purge(FtHandle h, std::uint32_t mask) {
  otherCall();
  return simple("FT_Purge", std::to_string(mask), inner_.purge(h, mask));
}
FtStatus TracingD2xx::setBaudRate(FtHandle h, std::uint32_t baud) {
  otherCall();
  return simple("FT_SetBaudRate", std::to_string(baud), inner_.setBaudRate(h, baud));
}
FtStatus TracingD2xx::setDataCharacteristics(FtHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  otherCall();
  return simple("FT_SetDataCharacteristics",
                std::to_string(w) + " " + std::to_string(s) + " " + std::to_string(p),
                inner_.setDataCharacteristics(h, w, s, p));
}
FtStatus TracingD2xx::setFlowControl(FtHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) {
  otherCall();
  return simple("FT_SetFlowControl",
                std::to_string(flow) + " " + std::to_string(xon) + " " + std::to_string(xoff),
                inner_.setFlowControl(h, flow, xon, xoff));
}
FtStatus TracingD2xx::setDtr(FtHandle h) {
  otherCall();
  return simple("FT_SetDtr", "", inner_.setDtr(h));
}
FtStatus TracingD2xx::clrDtr(FtHandle h) {
  otherCall();
  return simple("FT_ClrDtr", "", inner_.clrDtr(h));
}
FtStatus TracingD2xx::setRts(FtHandle h) {
  otherCall();
  return simple("FT_SetRts", "", inner_.setRts(h));
}
FtStatus TracingD2xx::clrRts(FtHandle h) {
  otherCall();
  return simple("FT_ClrRts", "", inner_.clrRts(h));
}

FtStatus TracingD2xx::write(FtHandle h, const void* buffer, std::uint32_t count, std::uint32_t* written) {
  auto* bytes = static_cast<const std::uint8_t*>(buffer);
  FtStatus s = inner_.write(h, buffer, count, written);
  // A header that the write does not continue is decoded before the write's line.
  std::vector<ReceivedFrame> done = frames_.onWrite(bytes, count);
  bool leadingHeader = !done.empty() && done.front().headerOnly;
  if (leadingHeader) line(done.front().describe());
  line("FT_Write " + hexBytes(bytes, count) + " -> " + std::to_string(s));
  for (std::size_t i = leadingHeader ? 1 : 0; i < done.size(); ++i) line(done[i].describe());
  return s;
}

FtStatus TracingD2xx::getQueueStatus(FtHandle h, std::uint32_t* rxBytes) {
  otherCall();
  FtStatus s = inner_.getQueueStatus(h, rxBytes);
  std::string text = "FT_GetQueueStatus -> " + std::to_string(s);
  if (rxBytes) text += " count " + std::to_string(*rxBytes);
  line(text);
  return s;
}

FtStatus TracingD2xx::read(FtHandle h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  otherCall();
  FtStatus s = inner_.read(h, buffer, count, bytesRead);
  std::string text = "FT_Read " + std::to_string(count) + " -> " + std::to_string(s);
  if (bytesRead) {
    std::uint32_t n = *bytesRead < count ? *bytesRead : count;
    text += " count " + std::to_string(*bytesRead);
    if (n) text += " " + hexBytes(static_cast<const std::uint8_t*>(buffer), n);
  }
  line(text);
  return s;
}

FtStatus TracingD2xx::close(FtHandle h) {
  otherCall();
  return simple("FT_Close", "", inner_.close(h));
}

}  // namespace tavrin
