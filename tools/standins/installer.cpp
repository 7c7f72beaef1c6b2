// A stand-in for the archiver's self-extracting installer "KorvikSetup.exe",
// for tests and the demo. It lays out a sample installation in the folder
// given as its first argument (a quoted or plain path), writes
// "Uninstall.lst", sets "sfxcmd" to its own command line (so "/S" among its
// arguments makes the setup silent) and runs "uninstall.exe /setup" there,
// waiting for it. The payload is taken from beside the installer:
// "uninstall.exe" and "Korvik.exe" are copied; the other files are small
// samples. Exit code: 0 when setup ran, 2 for a bad command line, 3 when
// the layout could not be written, 4 when setup did not start.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "beside_me.h"

namespace {

using standin::kPathSize;

// The next character of a narrow text: in a double-byte code page a trail
// byte may be 0x5C, which is no backslash.
std::size_t NextChar(const std::string& text, std::size_t at) {
  return IsDBCSLeadByte(static_cast<BYTE>(text[at])) && at + 1 < text.size() ? at + 2 : at + 1;
}

// Where each backslash of a path stands, found character by character.
std::vector<std::size_t> Backslashes(const std::string& path) {
  std::vector<std::size_t> found;
  for (std::size_t at = 0; at < path.size(); at = NextChar(path, at)) {
    if (path[at] == '\\') found.push_back(at);
  }
  return found;
}

// A payload file beside the installer; empty when its path does not fit.
std::string Payload(const char* name) {
  char path[kPathSize];
  return standin::PathBesideModule(nullptr, name, path, kPathSize) ? path : std::string();
}

// The first argument of the command line, without its quotes.
std::string FirstArgument() {
  const char* p = GetCommandLineA();
  if (*p == '"') {
    p = std::strchr(p + 1, '"');
    p = p ? p + 1 : "";
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  std::string arg;
  if (*p == '"') {
    const char* end = std::strchr(p + 1, '"');
    arg.assign(p + 1, end ? end : p + 1 + std::strlen(p + 1));
  } else {
    while (*p && *p != ' ' && *p != '\t') arg += *p++;
  }
  if (arg.size() > 1 && arg[0] == '/') return std::string();  // a switch, not a folder
  return arg;
}

bool MakeFolders(const std::string& path) {
  std::vector<std::size_t> ends = Backslashes(path);
  ends.push_back(path.size());
  for (std::size_t end : ends) {
    if (end < 3) continue;  // the drive's own backslash
    std::string part = path.substr(0, end);
    if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

bool WriteSample(const std::string& path, const std::string& contents) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &done, nullptr);
  CloseHandle(file);
  return ok && done == contents.size();
}

struct Sample {
  const char* name;
  const char* contents;
};

// Stand-ins for the archiver's own files; the shell extension libraries are
// not loadable, which the setup never needs.
constexpr Sample kSamples[] = {
    {"orvext.dll", "stand-in for the 32-bit shell extension\r\n"},
    {"orvext64.dll", "stand-in for the 64-bit shell extension\r\n"},
    {"korvik.chm", "stand-in for the help file\r\n"},
    {"license.txt", "Korvik licence (sample)\r\n"},
    {"order.htm", "<html><body>Order Korvik (sample)</body></html>\r\n"},
    {"Orv.txt", "Console ORV manual (sample)\r\n"},
};

// Every installed file, the program itself included, then the folder.
constexpr const char* kListed[] = {
    "Korvik.exe", "orvext.dll", "orvext64.dll", "korvik.chm",   "license.txt",
    "order.htm",  "Orv.txt",    "orvnew.dat",   "zipnew.dat",   "Korvik.started.log",
    "uninstall.exe",
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string target = FirstArgument();
  std::string program = Payload("uninstall.exe");
  std::string archiver = Payload("Korvik.exe");
  if (target.empty() || program.empty() || archiver.empty() || target.size() + 32 > kPathSize) {
    return 2;
  }
  if (!MakeFolders(target)) return 3;

  if (!CopyFileA(program.c_str(), (target + "\\uninstall.exe").c_str(), FALSE) ||
      !CopyFileA(archiver.c_str(), (target + "\\Korvik.exe").c_str(), FALSE)) {
    return 3;
  }
  for (const Sample& sample : kSamples) {
    if (!WriteSample(target + "\\" + sample.name, sample.contents)) return 3;
  }
  std::string list;
  for (const char* name : kListed) list += std::string(name) + "\r\n";
  if (!WriteSample(target + "\\Uninstall.lst", list)) return 3;

  // The setup learns from "sfxcmd" whether the installer runs silently.
  SetEnvironmentVariableA("sfxcmd", GetCommandLineA());

  std::string command = "\"" + target + "\\uninstall.exe\" /setup";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, target.c_str(),
                      &startup, &process)) {
    return 4;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
