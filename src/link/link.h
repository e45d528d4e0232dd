// The link to the drive board: the operations the program performs on it, with
// typed arguments. Every backend (the vendor's D2XX library, libftdi1, a serial
// port, the simulated board) implements them and answers with the statuses of
// the FTDI libraries, so the program reads one set of codes whatever runs
// underneath.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tavrin {

// A backend's own token for an open device; null means none.
using LinkHandle = void*;
// 0 is success; the other values are the FTDI libraries' FT_STATUS codes.
using LinkStatus = std::uint32_t;

namespace ft {
inline constexpr LinkStatus OK = 0;
inline constexpr LinkStatus INVALID_HANDLE = 1;
inline constexpr LinkStatus DEVICE_NOT_FOUND = 2;
inline constexpr LinkStatus DEVICE_NOT_OPENED = 3;
inline constexpr LinkStatus IO_ERROR = 4;
inline constexpr LinkStatus INSUFFICIENT_RESOURCES = 5;
inline constexpr LinkStatus INVALID_PARAMETER = 6;
inline constexpr LinkStatus INVALID_BAUD_RATE = 7;
inline constexpr LinkStatus NOT_SUPPORTED = 17;
inline constexpr LinkStatus OTHER_ERROR = 18;

// The purge mask's bits.
inline constexpr std::uint32_t PURGE_RX = 1, PURGE_TX = 2;
}  // namespace ft

class Link {
 public:
  virtual ~Link() = default;

  // Why the last call failed, in words that name the port or library and,
  // where one is known, the remedy; empty where only the status is known.
  virtual std::string lastProblem() const { return {}; }

  // ---- finding the board ----
  virtual LinkStatus deviceCount(std::uint32_t& count) = 0;
  // The serial number (at most 16 characters) and description (at most 64)
  // of device `index`, as the chip reports them.
  virtual LinkStatus deviceSerial(std::uint32_t index, std::string& serial) = 0;
  virtual LinkStatus deviceDescription(std::uint32_t index, std::string& description) = 0;
  virtual LinkStatus openByDescription(const std::string& description, LinkHandle& handle) = 0;

  // ---- setting it up ----
  virtual LinkStatus reset(LinkHandle h) = 0;
  virtual LinkStatus purge(LinkHandle h, std::uint32_t mask) = 0;
  virtual LinkStatus setBaudRate(LinkHandle h, std::uint32_t baud) = 0;
  // Word length in bits, stop bits (0: one, 2: two), parity (0: none).
  virtual LinkStatus setDataCharacteristics(LinkHandle h, std::uint8_t wordLength, std::uint8_t stopBits,
                                            std::uint8_t parity) = 0;
  // Flow control 0 is none.
  virtual LinkStatus setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) = 0;

  // ---- the modem lines: DTR enables the motor, RTS sets its direction ----
  virtual LinkStatus setDtr(LinkHandle h) = 0;
  virtual LinkStatus clrDtr(LinkHandle h) = 0;
  virtual LinkStatus setRts(LinkHandle h) = 0;
  virtual LinkStatus clrRts(LinkHandle h) = 0;

  // ---- bytes ----
  virtual LinkStatus write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) = 0;
  // Bytes received and not read yet; never waits.
  virtual LinkStatus queueStatus(LinkHandle h, std::uint32_t& rxBytes) = 0;
  // Reads up to buffer.size() bytes already received; never waits for more.
  virtual LinkStatus read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) = 0;
  virtual LinkStatus close(LinkHandle h) = 0;
};

// Every operation of Link declared as an override, for a backend or wrapper
// that performs them all itself (the signatures and what each means are those
// of Link above; a wrapper that changes only a few derives ForwardingLink).
#define TAVRIN_LINK_OPERATIONS_OVERRIDDEN                                                                    \
  LinkStatus deviceCount(std::uint32_t& count) override;                                                     \
  LinkStatus deviceSerial(std::uint32_t index, std::string& serial) override;                                \
  LinkStatus deviceDescription(std::uint32_t index, std::string& description) override;                     \
  LinkStatus openByDescription(const std::string& description, LinkHandle& handle) override;                 \
  LinkStatus reset(LinkHandle h) override;                                                                   \
  LinkStatus purge(LinkHandle h, std::uint32_t mask) override;                                               \
  LinkStatus setBaudRate(LinkHandle h, std::uint32_t baud) override;                                         \
  LinkStatus setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override;  \
  LinkStatus setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) override; \
  LinkStatus setDtr(LinkHandle h) override;                                                                  \
  LinkStatus clrDtr(LinkHandle h) override;                                                                  \
  LinkStatus setRts(LinkHandle h) override;                                                                  \
  LinkStatus clrRts(LinkHandle h) override;                                                                  \
  LinkStatus write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) override;      \
  LinkStatus queueStatus(LinkHandle h, std::uint32_t& rxBytes) override;                                     \
  LinkStatus read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) override;                \
  LinkStatus close(LinkHandle h) override;

// Passes every operation on to another link: a wrapper derives from it and
// overrides only what it watches.
class ForwardingLink : public Link {
 public:
  explicit ForwardingLink(Link& inner) : inner_(inner) {}

  LinkStatus deviceCount(std::uint32_t& count) override { return inner_.deviceCount(count); }
  LinkStatus deviceSerial(std::uint32_t index, std::string& serial) override {
    return inner_.deviceSerial(index, serial);
  }
  LinkStatus deviceDescription(std::uint32_t index, std::string& description) override {
    return inner_.deviceDescription(index, description);
  }
  LinkStatus openByDescription(const std::string& description, LinkHandle& handle) override {
    return inner_.openByDescription(description, handle);
  }
  LinkStatus reset(LinkHandle h) override { return inner_.reset(h); }
  LinkStatus purge(LinkHandle h, std::uint32_t mask) override { return inner_.purge(h, mask); }
  LinkStatus setBaudRate(LinkHandle h, std::uint32_t baud) override { return inner_.setBaudRate(h, baud); }
  LinkStatus setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override {
    return inner_.setDataCharacteristics(h, w, s, p);
  }
  LinkStatus setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) override {
    return inner_.setFlowControl(h, flow, xon, xoff);
  }
  LinkStatus setDtr(LinkHandle h) override { return inner_.setDtr(h); }
  LinkStatus clrDtr(LinkHandle h) override { return inner_.clrDtr(h); }
  LinkStatus setRts(LinkHandle h) override { return inner_.setRts(h); }
  LinkStatus clrRts(LinkHandle h) override { return inner_.clrRts(h); }
  LinkStatus write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) override {
    return inner_.write(h, bytes, written);
  }
  LinkStatus queueStatus(LinkHandle h, std::uint32_t& rxBytes) override { return inner_.queueStatus(h, rxBytes); }
  LinkStatus read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) override {
    return inner_.read(h, buffer, got);
  }
  LinkStatus close(LinkHandle h) override { return inner_.close(h); }
  std::string lastProblem() const override { return inner_.lastProblem(); }

 protected:
  Link& inner() { return inner_; }

 private:
  Link& inner_;
};

}  // namespace tavrin
