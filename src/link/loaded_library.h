// A shared library opened at run time (dlopen, LoadLibrary), for the backends
// whose library may be absent: the program then runs on without it.
#pragma once

#include <string>

namespace tavrin::loaded {

// The library, or null with the reason in `error` ("cannot load PATH: ...").
void* open(const std::string& path, std::string& error);
// A call or a variable of it; null when the library lacks it.
void* symbol(void* module, const char* name);
void close(void* module);

}  // namespace tavrin::loaded
