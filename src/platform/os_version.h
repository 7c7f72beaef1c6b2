// The operating system family and version, read once per process.
#pragma once

// The major version (4, 5, 6, ...) on the NT family; 0 on the Windows 9x
// family. Used as a family test and as a number alike.
int NtMajorVersion();

// The version figures as the system reports them: platform id
// (VER_PLATFORM_WIN32_WINDOWS 1 on the 9x family, VER_PLATFORM_WIN32_NT 2),
// major and minor version (Windows 98 is 1, 4.10; Windows Me 1, 4.90;
// NT 4.0 2, 4.0; Windows 2000 2, 5.0).
struct OsVersionInfo {
  unsigned long PlatformId;
  unsigned long Major;
  unsigned long Minor;
};
OsVersionInfo OsVersion();

// Whether this 32-bit process runs on a 64-bit system (WOW64), asked of the
// system each time. False, with *wow64 untouched, when the system cannot
// tell: systems before Windows XP SP2 lack IsWow64Process.
bool QueryWow64(bool* wow64);

// Forgets the cached answer so that tests can watch the query run again.
void ResetOsVersionCacheForTest();
