// A stand-in for the archiver "Korvik.exe" in tests and the demo. It does
// nothing but record how it was started: one line per start, appended to
// "Korvik.started.log" beside itself (the command line, then the current
// folder after a tab).
#include <windows.h>

#include "beside_me.h"

namespace {

using standin::kPathSize;
constexpr DWORD kLineSize = 4096;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char logPath[kPathSize];
  if (!standin::PathBesideModule(nullptr, "Korvik.started.log", logPath, kPathSize)) return 1;

  char folder[kPathSize];
  if (GetCurrentDirectoryA(kPathSize, folder) >= kPathSize) folder[0] = '\0';

  char line[kLineSize];
  int written = wsprintfA(line, "%.2000s\t%.1000s\r\n", GetCommandLineA(), folder);

  HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 1;
  DWORD done = 0;
  WriteFile(log, line, static_cast<DWORD>(written), &done, nullptr);
  CloseHandle(log);
  return 0;
}
