#include "platform/environment.h"

#include <windows.h>

#include "platform/code_page.h"
#include "platform/os_version.h"

namespace {

// The longest value taken, in UTF-16 units; longer ones do not fit any
// caller's buffer in the ANSI code page either.
constexpr DWORD kWideValueSize = 32768;
constexpr int kWideNameSize = 256;

bool wideCallFailsForTest = false;

enum class WideRead { Read, Absent, NotImplemented };

DWORD GetWideVariable(const wchar_t* name, wchar_t* value, DWORD size) {
  if (wideCallFailsForTest) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return GetEnvironmentVariableW(name, value, size);
}

// Through the wide function: Wine's GetEnvironmentVariableA cuts a
// double-byte value at its length in characters ("汉字 /S" loses its "/S").
WideRead ReadThroughWide(const char* name, char* buffer, std::size_t capacity,
                         Unconvertible unconvertible) {
  wchar_t wideName[kWideNameSize];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, kWideNameSize) == 0) {
    return WideRead::Absent;
  }
  static wchar_t value[kWideValueSize];
  DWORD length = GetWideVariable(wideName, value, kWideValueSize);
  if (length == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) return WideRead::NotImplemented;
  if (length == 0 || length >= kWideValueSize) return WideRead::Absent;
  bool lossy = false;
  if (!WideToCodePage(CP_ACP, value, buffer, capacity, &lossy) ||
      (lossy && unconvertible == Unconvertible::Refuse)) {
    buffer[0] = '\0';
    return WideRead::Absent;
  }
  return WideRead::Read;
}

// The 9x family's own: its wide function is a stub that fails with
// ERROR_CALL_NOT_IMPLEMENTED.
bool ReadThroughNarrow(const char* name, char* buffer, std::size_t capacity) {
  DWORD length = GetEnvironmentVariableA(name, buffer, static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace

bool ReadEnvironmentVariable(const char* name, char* buffer, std::size_t capacity,
                             Unconvertible unconvertible) {
  if (capacity == 0) return false;
  buffer[0] = '\0';
  if (NtMajorVersion() != 0) {
    WideRead read = ReadThroughWide(name, buffer, capacity, unconvertible);
    if (read != WideRead::NotImplemented) return read == WideRead::Read;
  }
  return ReadThroughNarrow(name, buffer, capacity);
}

void SetWideEnvironmentFaultForTest(bool fails) { wideCallFailsForTest = fails; }
