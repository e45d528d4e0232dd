// The vendor's D2XX library, loaded at run time (libftd2xx.so, ftd2xx.dll),
// as a link backend: each operation is the library call of the same name.
#pragma once

#include <memory>
#include <string>

#include "link/link.h"
#include "link/loaded_library.h"

namespace tavrin {

class D2xxLibrary : public Link {
 public:
  // Loads the library and all fifteen calls. On failure returns null and says
  // why in `error` (library not found, or which call it lacks).
  static std::unique_ptr<D2xxLibrary> load(const std::string& path, std::string& error);
  static std::string defaultPath();
  ~D2xxLibrary() override;

  LinkStatus deviceCount(std::uint32_t& count) override;
  LinkStatus deviceSerial(std::uint32_t index, std::string& serial) override;
  LinkStatus deviceDescription(std::uint32_t index, std::string& description) override;
  LinkStatus openByDescription(const std::string& description, LinkHandle& handle) override;
  LinkStatus reset(LinkHandle h) override;
  LinkStatus purge(LinkHandle h, std::uint32_t mask) override;
  LinkStatus setBaudRate(LinkHandle h, std::uint32_t baud) override;
  LinkStatus setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override;
  LinkStatus setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) override;
  LinkStatus setDtr(LinkHandle h) override;
  LinkStatus clrDtr(LinkHandle h) override;
  LinkStatus setRts(LinkHandle h) override;
  LinkStatus clrRts(LinkHandle h) override;
  LinkStatus write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) override;
  LinkStatus queueStatus(LinkHandle h, std::uint32_t& rxBytes) override;
  LinkStatus read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) override;
  LinkStatus close(LinkHandle h) override;

  struct Api;

 private:
  D2xxLibrary(loaded::Module module, std::unique_ptr<Api> api);
  loaded::Module module_;
  std::unique_ptr<Api> api_;
};

}  // namespace tavrin
