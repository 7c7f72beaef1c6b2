// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <string>

namespace test {

// The folder of the running test program, without a trailing backslash.
std::string ExeFolder();

// A Windows path for a path of the Linux build tree ("/a/b" -> "Z:\a\b").
std::string WindowsPath(const std::string& unixPath);

// Text given in UTF-8 in the test source, in the ANSI code page.
std::string Acp(const char* utf8);
// Text in the ANSI code page, as UTF-8 for readable failure messages.
std::string Utf8(const std::string& acp);

// Runs a command line, waits for it and gives its exit code (-1 when it
// did not start or did not end in time).
long RunAndWait(const std::string& commandLine, DWORD timeoutMs = 30000);

// Gives one program, by file name, another Windows version through Wine's
// per-program settings, for as long as the object lives.
class ScopedWindowsVersion {
 public:
  ScopedWindowsVersion(const char* exeName, const char* version);
  ~ScopedWindowsVersion();
  ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
  ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;

 private:
  std::string key_;
};

// Deletes a registry key and all below it; no error when it is missing.
void DeleteKeyTree(HKEY root, const std::string& subKey);

}  // namespace test
