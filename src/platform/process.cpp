#include "platform/process.h"

#include <windows.h>

#include <cstring>

#include "platform/kernel_handle.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr char kNtInterpreter[] = "cmd.exe";
constexpr char kNineXInterpreter[] = "COMMAND.COM";

// CreateProcessA may write into the command line, so it gets a copy.
constexpr std::size_t kCommandLineSize = 2 * kPathSize + 32;

}  // namespace

bool StartInBackground(const char* commandLine) {
  char writable[kCommandLineSize];
  if (!CopyText(writable, commandLine)) return false;  // a cut command is another one

  bool ntFamily = NtMajorVersion() != 0;
  // The 9x family's child writes to "NUL". The handle must be inheritable:
  // the child is given its value, which in a process that did not inherit
  // it names nothing, or something else.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  KernelHandle nul(ntFamily ? nullptr
                            : CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                          CREATE_ALWAYS, 0, nullptr));

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;  // 68
  DWORD flags = 0;
  if (ntFamily) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  } else {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = nul.Get();
    startup.hStdError = nul.Get();
    flags = DETACHED_PROCESS;
  }

  PROCESS_INFORMATION started;
  std::memset(&started, 0, sizeof started);
  if (!CreateProcessA(nullptr, writable, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  KernelHandle process(started.hProcess);
  KernelHandle thread(started.hThread);
  return true;
}

bool GetSystemInterpreter(char* path, std::size_t capacity) {
  if (capacity == 0) return false;
  bool ntFamily = NtMajorVersion() != 0;
  UINT size = static_cast<UINT>(capacity);
  UINT length = ntFamily ? GetSystemDirectoryA(path, size) : GetWindowsDirectoryA(path, size);
  // Room for the folder, a backslash and the terminator.
  if (length == 0 || length + 1 >= capacity) {
    path[0] = '\0';
    return false;
  }
  path[length] = '\0';
  AppendBackslash(path);  // a drive root has one already
  if (!AppendText(path, capacity, ntFamily ? kNtInterpreter : kNineXInterpreter)) {
    path[0] = '\0';
    return false;
  }
  return true;
}
