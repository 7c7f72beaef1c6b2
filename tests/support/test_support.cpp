#include "support/test_support.h"

#include <vector>

namespace test {

std::string ExeFolder() {
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/"));
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path.size() > 1 && path[1] == ':' ? path : "Z:" + path;
}

namespace {

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::vector<wchar_t> buffer(wide);
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), buffer.data(), wide);
  int narrow = WideCharToMultiByte(to, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(narrow, '\0');
  WideCharToMultiByte(to, 0, buffer.data(), wide, out.data(), narrow, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Acp(const char* utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }

std::string Utf8(const std::string& acp) { return Convert(acp, CP_ACP, CP_UTF8); }

long RunAndWait(const std::string& commandLine, DWORD timeoutMs) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  long result = -1;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<long>(code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  return result;
}

ScopedWindowsVersion::ScopedWindowsVersion(const char* exeName, const char* version)
    : key_(std::string("Software\\Wine\\AppDefaults\\") + exeName) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(strlen(version) + 1));
    RegCloseKey(key);
  }
}

ScopedWindowsVersion::~ScopedWindowsVersion() { DeleteKeyTree(HKEY_CURRENT_USER, key_); }

void DeleteKeyTree(HKEY root, const std::string& subKey) {
  HKEY key;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    char name[256];
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      children.emplace_back(name, length);
    }
    RegCloseKey(key);
    for (const std::string& child : children) DeleteKeyTree(root, subKey + "\\" + child);
  }
  RegDeleteKeyA(root, subKey.c_str());
}

}  // namespace test
