#include "platform/text.h"

#include <cstdio>
#include <cstring>

#include "platform/paths.h"

namespace {

// Cuts a text that went on past limit bytes to at most limit bytes, without
// splitting a double-byte character: a lead byte at the limit lost its trail
// byte, so it goes too.
void CutAtCharacter(char* text, std::size_t limit) {
  std::size_t end = 0;
  while (end < limit) {
    std::size_t next = end + (IsLeadByte(text[end]) ? 2 : 1);
    if (next > limit) break;
    end = next;
  }
  text[end] = '\0';
}

}  // namespace

std::size_t BoundedLength(const char* text, std::size_t capacity) {
  const void* end = std::memchr(text, '\0', capacity);
  return end ? static_cast<const char*>(end) - text : capacity;
}

bool CopyText(char* dst, std::size_t capacity, const char* src) {
  if (capacity == 0) return false;
  dst[0] = '\0';
  return AppendText(dst, capacity, src);
}

bool AppendText(char* dst, std::size_t capacity, const char* src) {
  if (capacity == 0) return false;
  std::size_t used = BoundedLength(dst, capacity);
  if (used == capacity) {  // unterminated: repair, then nothing more fits
    CutAtCharacter(dst, capacity - 1);
    return false;
  }
  std::size_t room = capacity - 1 - used;
  std::size_t length = std::strlen(src);
  if (length <= room) {
    std::memcpy(dst + used, src, length + 1);
    return true;
  }
  std::memcpy(dst + used, src, room);
  dst[used + room] = '\0';
  CutAtCharacter(dst + used, room);
  return false;
}

bool FormatTextV(char* dst, std::size_t capacity, const char* format, va_list args) {
  if (capacity == 0) return false;
  // The system's own formatter: a text that fills the count stays
  // unterminated, one that does not fit gives -1.
  int written = _vsnprintf(dst, capacity - 1, format, args);
  dst[capacity - 1] = '\0';
  if (written >= 0) {
    dst[written] = '\0';
    return true;
  }
  CutAtCharacter(dst, capacity - 1);
  return false;
}

bool FormatText(char* dst, std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool fitted = FormatTextV(dst, capacity, format, args);
  va_end(args);
  return fitted;
}
