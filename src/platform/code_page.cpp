#include "platform/code_page.h"

#include <windows.h>

#include <cstring>

#include "platform/text.h"

namespace {

// Characters of a path, in UTF-16 units.
constexpr int kWideSize = static_cast<int>(kPathSize);

}  // namespace

bool ConvertToOem(const char* ansi, char* oem, std::size_t capacity) {
  if (capacity == 0) return false;
  oem[0] = '\0';
  if (GetACP() == GetOEMCP()) {
    if (CopyText(oem, capacity, ansi)) return true;
    oem[0] = '\0';
    return false;
  }

  wchar_t wide[kWideSize];
  int wideLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, wide, kWideSize);
  if (wideLength == 0) return false;
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide, -1, oem,
                                   static_cast<int>(capacity), nullptr, &lossy);
  // And back: the interpreter must read the very characters of the path.
  wchar_t back[kWideSize];
  if (length == 0 || lossy ||
      MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, oem, -1, back, kWideSize) != wideLength ||
      std::memcmp(back, wide, wideLength * sizeof(wchar_t)) != 0) {
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
