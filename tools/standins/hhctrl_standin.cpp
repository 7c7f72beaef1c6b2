// A stand-in for the HTML help control "hhctrl.ocx" in tests: placed beside
// the program under test, it records every HtmlHelpA call, and its own
// loading and unloading, one line each in "hhctrl.log" beside itself:
//   attach
//   HtmlHelpA <command, hex> <file or -> <data, hex>
//   HtmlHelpA 12 - 0 with OLE | without OLE   (closing: the real viewer
//                                             needs OLE still running then)
//   detach FreeLibrary | detach exit
#include <windows.h>

#include <objbase.h>

#include <cstring>

#include "beside_me.h"

namespace {

using standin::kPathSize;
constexpr DWORD kLineSize = 2048;

constexpr UINT kCloseAll = 0x0012;  // HH_CLOSE_ALL

HMODULE self = nullptr;

// Whether OLE runs on the calling thread: a second start in the same
// apartment answers S_FALSE.
const char* OleState() {
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(result)) CoUninitialize();
  return result == S_FALSE ? " with OLE" : " without OLE";
}

void Record(const char* line) {
  char logPath[kPathSize];
  if (!standin::PathBesideModule(self, "hhctrl.log", logPath, kPathSize)) return;
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
  wsprintfA(line, "HtmlHelpA %x %.1500s %lx%s", command, file ? file : "-",
            static_cast<unsigned long>(data), command == kCloseAll ? OleState() : "");
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
