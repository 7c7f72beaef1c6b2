// The operating system family and version, read once per process.
#pragma once

// The major version (4, 5, 6, ...) on the NT family; 0 on the Windows 9x
// family. Used as a family test and as a number alike.
int NtMajorVersion();

// Forgets the cached answer so that tests can watch the query run again.
void ResetOsVersionCacheForTest();
