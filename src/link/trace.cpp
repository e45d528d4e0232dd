#include "link/trace.h"

#include <cstdio>

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
std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// The D2XX flags each listing call and the open are traced with.
constexpr std::uint32_t kListNumberOnly = 0x80000000u, kListByIndex = 0x40000000u;
constexpr std::uint32_t kBySerial = 1, kByDescription = 2;
}  // namespace

TracingLink::~TracingLink() { flush(); }

void TracingLink::line(const std::string& text) {
  char t[32];
  std::snprintf(t, sizeof t, "%.1f ", clock_());
  out_ << t << text << '\n';
  out_.flush();
  if (!out_ && !failed_) {
    failed_ = true;
    if (onFailure_) onFailure_();
  }
}

void TracingLink::otherCall() {
  if (auto f = frames_.onOtherCall()) line(f->describe());
}

void TracingLink::flush() { otherCall(); }

LinkStatus TracingLink::simple(const char* name, const std::string& args, LinkStatus status) {
  line(std::string(name) + (args.empty() ? "" : " " + args) + " -> " + std::to_string(status));
  return status;
}

LinkStatus TracingLink::deviceCount(std::uint32_t& count) {
  otherCall();
  LinkStatus s = inner_.deviceCount(count);
  std::string text = "FT_ListDevices " + hex32(kListNumberOnly) + " -> " + std::to_string(s);
  if (s == ft::OK) text += " count " + std::to_string(count);
  line(text);
  return s;
}

LinkStatus TracingLink::deviceSerial(std::uint32_t index, std::string& serial) {
  otherCall();
  LinkStatus s = inner_.deviceSerial(index, serial);
  std::string text = "FT_ListDevices " + std::to_string(index) + " " + hex32(kListByIndex | kBySerial) + " -> " +
                     std::to_string(s);
  if (s == ft::OK) text += " " + quoted(serial);
  line(text);
  return s;
}

LinkStatus TracingLink::deviceDescription(std::uint32_t index, std::string& description) {
  otherCall();
  LinkStatus s = inner_.deviceDescription(index, description);
  std::string text = "FT_ListDevices " + std::to_string(index) + " " + hex32(kListByIndex | kByDescription) +
                     " -> " + std::to_string(s);
  if (s == ft::OK) text += " " + quoted(description);
  line(text);
  return s;
}

LinkStatus TracingLink::openByDescription(const std::string& description, LinkHandle& handle) {
  otherCall();
  return simple("FT_OpenEx", quoted(description) + " " + std::to_string(kByDescription),
                inner_.openByDescription(description, handle));
}

LinkStatus TracingLink::reset(LinkHandle h) {
  otherCall();
  return simple("FT_ResetDevice", "", inner_.reset(h));
}
LinkStatus TracingLink::purge(LinkHandle h, std::uint32_t mask) {
  otherCall();
  return simple("FT_Purge", std::to_string(mask), inner_.purge(h, mask));
}
LinkStatus TracingLink::setBaudRate(LinkHandle h, std::uint32_t baud) {
  otherCall();
  return simple("FT_SetBaudRate", std::to_string(baud), inner_.setBaudRate(h, baud));
}
LinkStatus TracingLink::setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  otherCall();
  return simple("FT_SetDataCharacteristics",
                std::to_string(w) + " " + std::to_string(s) + " " + std::to_string(p),
                inner_.setDataCharacteristics(h, w, s, p));
}
LinkStatus TracingLink::setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) {
  otherCall();
  return simple("FT_SetFlowControl",
                std::to_string(flow) + " " + std::to_string(xon) + " " + std::to_string(xoff),
                inner_.setFlowControl(h, flow, xon, xoff));
}
LinkStatus TracingLink::setDtr(LinkHandle h) {
  otherCall();
  return simple("FT_SetDtr", "", inner_.setDtr(h));
}
LinkStatus TracingLink::clrDtr(LinkHandle h) {
  otherCall();
  return simple("FT_ClrDtr", "", inner_.clrDtr(h));
}
LinkStatus TracingLink::setRts(LinkHandle h) {
  otherCall();
  return simple("FT_SetRts", "", inner_.setRts(h));
}
LinkStatus TracingLink::clrRts(LinkHandle h) {
  otherCall();
  return simple("FT_ClrRts", "", inner_.clrRts(h));
}

LinkStatus TracingLink::write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) {
  LinkStatus s = inner_.write(h, bytes, written);
  // A header that the write does not continue is decoded before the write's line.
  std::vector<ReceivedFrame> done = frames_.onWrite(bytes.data(), bytes.size());
  bool leadingHeader = !done.empty() && done.front().headerOnly;
  if (leadingHeader) line(done.front().describe());
  line("FT_Write " + hexBytes(bytes.data(), bytes.size()) + " -> " + std::to_string(s));
  for (std::size_t i = leadingHeader ? 1 : 0; i < done.size(); ++i) line(done[i].describe());
  return s;
}

LinkStatus TracingLink::queueStatus(LinkHandle h, std::uint32_t& rxBytes) {
  otherCall();
  LinkStatus s = inner_.queueStatus(h, rxBytes);
  line("FT_GetQueueStatus -> " + std::to_string(s) + " count " + std::to_string(rxBytes));
  return s;
}

LinkStatus TracingLink::read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) {
  otherCall();
  LinkStatus s = inner_.read(h, buffer, got);
  std::string text = "FT_Read " + std::to_string(buffer.size()) + " -> " + std::to_string(s);
  const std::size_t n = got < buffer.size() ? got : buffer.size();
  text += " count " + std::to_string(got);
  if (n) text += " " + hexBytes(buffer.data(), n);
  line(text);
  return s;
}

LinkStatus TracingLink::close(LinkHandle h) {
  otherCall();
  return simple("FT_Close", "", inner_.close(h));
}

}  // namespace tavrin
