#include "platform/code_page.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "platform/os_version.h"
#include "platform/text.h"

namespace {

// Characters of a path, in UTF-16 units.
constexpr int kWideSize = static_cast<int>(kPathSize);
// The longest text converted back for the look-alike test, in UTF-16 units.
constexpr int kRoundTripSize = 32768;

bool noBestFitRejectedForTest = false;

// Windows 2000 was the first to take WC_NO_BEST_FIT_CHARS; the 9x family
// and NT 4.0 refuse a call that passes it (ERROR_INVALID_FLAGS).
DWORD NoBestFitFlag() { return NtMajorVersion() >= 5 ? WC_NO_BEST_FIT_CHARS : 0; }

int ToCodePage(UINT codePage, DWORD flags, const wchar_t* wide, char* narrow, int capacity,
               BOOL* usedDefault) {
  if ((flags & WC_NO_BEST_FIT_CHARS) != 0 && noBestFitRejectedForTest) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  *usedDefault = FALSE;
  return WideCharToMultiByte(codePage, flags, wide, -1, narrow, capacity, nullptr, usedDefault);
}

// Without WC_NO_BEST_FIT_CHARS a look-alike ('A' for U+0100) is not
// reported as a default character: only the way back shows it.
bool ComesBack(UINT codePage, const char* narrow, const wchar_t* wide) {
  static wchar_t back[kRoundTripSize];
  int length = MultiByteToWideChar(codePage, 0, narrow, -1, back, kRoundTripSize);
  return length > 0 && std::wcscmp(back, wide) == 0;
}

}  // namespace

bool WideToCodePage(unsigned codePage, const wchar_t* wide, char* narrow, std::size_t capacity,
                    bool* lossy) {
  *lossy = false;
  if (capacity == 0) return false;
  int size = static_cast<int>(capacity);
  DWORD flags = NoBestFitFlag();
  BOOL usedDefault = FALSE;
  int length = ToCodePage(codePage, flags, wide, narrow, size, &usedDefault);
  if (length == 0 && flags != 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    length = ToCodePage(codePage, 0, wide, narrow, size, &usedDefault);
  }
  if (length == 0) {
    narrow[0] = '\0';
    return false;
  }
  *lossy = usedDefault != FALSE || !ComesBack(codePage, narrow, wide);
  return true;
}

void SetNoBestFitRejectedForTest(bool rejected) { noBestFitRejectedForTest = rejected; }

bool ConvertToOem(const char* ansi, char* oem, std::size_t capacity) {
  if (capacity == 0) return false;
  oem[0] = '\0';
  if (GetACP() == GetOEMCP()) {
    if (CopyText(oem, capacity, ansi)) return true;
    oem[0] = '\0';
    return false;
  }

  wchar_t wide[kWideSize];
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, wide, kWideSize) == 0) {
    return false;
  }
  // The interpreter must read the very characters of the path.
  bool lossy = false;
  if (!WideToCodePage(CP_OEMCP, wide, oem, capacity, &lossy) || lossy) {
    oem[0] = '\0';
    return false;
  }
  return true;
}

bool IsSuperscriptDigit(const char* text, std::size_t length) {
  if (length == 0 || length > 2) return false;
  WCHAR wide[2];
  int count =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), wide, 2);
  return count == 1 && (wide[0] == 0x00B9 || wide[0] == 0x00B2 || wide[0] == 0x00B3);
}
