#include "platform/os_version.h"

#include <windows.h>

namespace {

// -1: not read yet.
long cachedPlatform = -1;
unsigned long cachedMajor = 0;

}  // namespace

int NtMajorVersion() {
  if (cachedPlatform == -1) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;  // 148 bytes: the plain form
    if (GetVersionExA(&info)) {
      cachedPlatform = static_cast<long>(info.dwPlatformId);
      cachedMajor = info.dwMajorVersion;
    } else {
      cachedPlatform = VER_PLATFORM_WIN32_NT;  // no answer: assume the modern family
      cachedMajor = 5;
    }
  }
  return cachedPlatform == VER_PLATFORM_WIN32_NT ? static_cast<int>(cachedMajor) : 0;
}

void ResetOsVersionCacheForTest() { cachedPlatform = -1; }
