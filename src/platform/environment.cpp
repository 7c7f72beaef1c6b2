#include "platform/environment.h"

#include <windows.h>

bool ReadEnvironmentVariable(const char* name, char* buffer, std::size_t capacity) {
  if (capacity == 0) return false;
  buffer[0] = '\0';
  DWORD length = GetEnvironmentVariableA(name, buffer, static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}
