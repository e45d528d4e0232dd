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

  TAVRIN_LINK_OPERATIONS_OVERRIDDEN

  struct Api;

 private:
  D2xxLibrary(loaded::Module module, std::unique_ptr<Api> api);
  loaded::Module module_;
  std::unique_ptr<Api> api_;
};

}  // namespace tavrin
