// The one "file beside me" helper of the stand-ins: their logs and payloads
// live in the folder of their own module.
#pragma once

#include <windows.h>

#include <cstring>

namespace standin {

constexpr DWORD kPathSize = 1024;

// The path of name in the folder of module (null: the program). False when
// the module's path is unknown or the result does not fit in capacity.
inline bool PathBesideModule(HMODULE module, const char* name, char* out, DWORD capacity) {
  DWORD length = GetModuleFileNameA(module, out, capacity);
  if (length == 0 || length >= capacity) return false;
  // Character by character: in a double-byte code page a trail byte may be
  // 0x5C, which is no backslash.
  char* separator = nullptr;
  for (char* p = out; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\') separator = p;
  }
  std::size_t nameSize = std::strlen(name) + 1;
  if (!separator || static_cast<std::size_t>(separator + 1 - out) + nameSize > capacity) {
    return false;
  }
  std::memcpy(separator + 1, name, nameSize);
  return true;
}

}  // namespace standin
