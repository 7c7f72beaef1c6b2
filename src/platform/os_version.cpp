#include "platform/os_version.h"

#include <windows.h>

#include "platform/module.h"

namespace {

// -1: not read yet.
long cachedPlatform = -1;
unsigned long cachedMajor = 0;
unsigned long cachedMinor = 0;

void ReadOsVersion() {
  if (cachedPlatform != -1) return;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes: the plain form
  if (GetVersionExA(&info)) {
    cachedPlatform = static_cast<long>(info.dwPlatformId);
    cachedMajor = info.dwMajorVersion;
    cachedMinor = info.dwMinorVersion;
  } else {
    cachedPlatform = VER_PLATFORM_WIN32_NT;  // no answer: assume the modern family
    cachedMajor = 5;
    cachedMinor = 0;
  }
}

}  // namespace

int NtMajorVersion() {
  ReadOsVersion();
  return cachedPlatform == VER_PLATFORM_WIN32_NT ? static_cast<int>(cachedMajor) : 0;
}

OsVersionInfo OsVersion() {
  ReadOsVersion();
  return {static_cast<unsigned long>(cachedPlatform), cachedMajor, cachedMinor};
}

bool QueryWow64(bool* wow64) {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64Process =
      FindSystemFunction<IsWow64ProcessFunction>("kernel32.dll", "IsWow64Process");
  BOOL answer = FALSE;
  if (isWow64Process == nullptr || !isWow64Process(GetCurrentProcess(), &answer)) return false;
  *wow64 = answer != FALSE;
  return true;
}

void ResetOsVersionCacheForTest() { cachedPlatform = -1; }
