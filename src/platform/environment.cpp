#include "platform/environment.h"

#include <windows.h>

namespace {

// The longest value taken, in UTF-16 units; longer ones do not fit any
// caller's buffer in the ANSI code page either.
constexpr DWORD kWideValueSize = 32768;
constexpr int kWideNameSize = 256;

}  // namespace

// Through the wide function: Wine's GetEnvironmentVariableA cuts a
// double-byte value at its length in characters ("汉字 /S" loses its "/S").
bool ReadEnvironmentVariable(const char* name, char* buffer, std::size_t capacity,
                             Unconvertible unconvertible) {
  if (capacity == 0) return false;
  buffer[0] = '\0';
  wchar_t wideName[kWideNameSize];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, kWideNameSize) == 0) return false;
  static wchar_t value[kWideValueSize];
  DWORD length = GetEnvironmentVariableW(wideName, value, kWideValueSize);
  if (length == 0 || length >= kWideValueSize) return false;
  BOOL lossy = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, value, -1, buffer,
                                 static_cast<int>(capacity), nullptr, &lossy);
  if (size == 0 || (lossy && unconvertible == Unconvertible::Refuse)) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}
