// A stand-in for the HTML help control "hhctrl.ocx" in tests: placed beside
// the program under test, it records every HtmlHelpA call, and its own
// loading and unloading, one line each in "hhctrl.log" beside itself:
//   attach
//   HtmlHelpA <command, hex> <file or -> <data, hex>
//   detach FreeLibrary | detach exit
#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kPathSize = 1024;
constexpr DWORD kLineSize = 2048;

HMODULE self = nullptr;

void Record(const char* line) {
  char logPath[kPathSize];
  DWORD length = GetModuleFileNameA(self, logPath, kPathSize);
  if (length == 0 || length >= kPathSize) return;
  char* name = std::strrchr(logPath, '\\');
  const char kLogName[] = "hhctrl.log";
  if (!name || static_cast<DWORD>(name + 1 - logPath) + sizeof kLogName > kPathSize) return;
  std::memcpy(name + 1, kLogName, sizeof kLogName);
  HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(log, line, static_cast<DWORD>(std::strlen(line)), &done, nullptr);
  WriteFile(log, "\r\n", 2, &done, nullptr);
  CloseHandle(log);
}

}  // namespace

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpA(HWND, LPCSTR file, UINT command,
                                                       DWORD_PTR data) {
  char line[kLineSize];
  wsprintfA(line, "HtmlHelpA %x %.1500s %lx", command, file ? file : "-",
            static_cast<unsigned long>(data));
  Record(line);
  return nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    Record("attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    // A null reserved pointer means FreeLibrary, else the process is ending.
    Record(reserved == nullptr ? "detach FreeLibrary" : "detach exit");
  }
  return TRUE;
}
