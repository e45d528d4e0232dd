// A shared library opened at run time (dlopen, LoadLibrary), for the backends
// whose library may be absent: the program then runs on without it.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tavrin::loaded {

// The library, or null with the reason in `error` ("cannot load PATH: ...").
void* open(const std::string& path, std::string& error);
// A call or a variable of it; null when the library lacks it.
void* symbol(void* module, const char* name);
void close(void* module);

struct Closer {
  void operator()(void* module) const { close(module); }
};
// An open library, closed when this goes.
using Module = std::unique_ptr<void, Closer>;

// Fills a backend's table of calls from an open library, keeping the name of
// the first call it needs and lacks.
class Calls {
 public:
  explicit Calls(void* module) : module_(module) {}
  // A call the backend cannot do without.
  template <class Fn>
  void need(Fn& fn, const char* name) {
    if (!find(fn, name)) lack(name);
  }
  // A call it can do without: null, and false, when the library lacks it.
  template <class Fn>
  bool find(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(symbol(module_, name));
    return fn != nullptr;
  }
  // Counts `name` as needed and lacking (a choice among calls that found none).
  void lack(const char* name) {
    if (missing_.empty()) missing_ = name;
  }
  const std::string& missing() const { return missing_; }

 private:
  void* module_;
  std::string missing_;
};

// Opens the library at `path` and lets `fill` take its calls. Null, with the
// reason in `error`, when it cannot be loaded ("cannot load PATH: ...") or
// lacks a needed call ("PATH lacks NAME", the first one).
Module openWithCalls(const std::string& path, std::string& error, const std::function<void(Calls&)>& fill);

}  // namespace tavrin::loaded
