#include "link/loaded_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tavrin::loaded {

void* open(const std::string& path, std::string& error) {
#ifdef _WIN32
  HMODULE m = LoadLibraryA(path.c_str());
  if (!m) error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(m);
#else
  void* m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m) {
    const char* e = dlerror();
    error = "cannot load " + path + (e ? std::string(": ") + e : std::string());
  }
  return m;
#endif
}

void* symbol(void* module, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
#else
  return dlsym(module, name);
#endif
}

void close(void* module) {
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(module));
#else
  dlclose(module);
#endif
}

Module openWithCalls(const std::string& path, std::string& error, const std::function<void(Calls&)>& fill) {
  Module module(open(path, error));
  if (!module) return module;
  Calls calls(module.get());
  fill(calls);
  if (calls.missing().empty()) return module;
  error = path + " lacks " + calls.missing();
  return nullptr;
}

}  // namespace tavrin::loaded
