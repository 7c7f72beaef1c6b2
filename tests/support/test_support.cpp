#include "support/test_support.h"

#include <algorithm>
#include <utility>
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

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitForPath(const std::string& path, bool present, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (Exists(path) != present) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

bool RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
  return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::string& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

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

namespace {

constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenames[] = "PendingFileRenameOperations";

bool ReadPendingRenames(std::vector<char>& bytes) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD size = 0;
  bool found = RegQueryValueExA(key, kPendingRenames, nullptr, nullptr, nullptr, &size) ==
               ERROR_SUCCESS;
  bytes.assign(size, '\0');
  if (found && size > 0) {
    found = RegQueryValueExA(key, kPendingRenames, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(bytes.data()), &size) == ERROR_SUCCESS;
    bytes.resize(size);
  }
  RegCloseKey(key);
  return found;
}

// The files a REG_MULTI_SZ of source and target pairs deletes (those with
// an empty target), in order; NT paths lose their "\\??\\" prefix.
std::vector<std::string> DeletionsIn(const std::vector<char>& bytes) {
  std::vector<std::string> strings;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\0') continue;
    strings.emplace_back(bytes.data() + start, i - start);
    start = i + 1;
  }
  if (start < bytes.size()) strings.emplace_back(bytes.data() + start, bytes.size() - start);

  const std::string ntPrefix = "\\??\\";
  std::vector<std::string> deletions;
  for (std::size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
    if (!strings[i + 1].empty()) continue;
    std::string path = strings[i];
    if (path.compare(0, ntPrefix.size(), ntPrefix) == 0) path.erase(0, ntPrefix.size());
    deletions.push_back(path);
  }
  return deletions;
}

}  // namespace

ScopedPendingRenames::ScopedPendingRenames() { existed_ = ReadPendingRenames(saved_); }

ScopedPendingRenames::~ScopedPendingRenames() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  if (existed_) {
    RegSetValueExA(key, kPendingRenames, 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(saved_.data()),
                   static_cast<DWORD>(saved_.size()));
  } else {
    RegDeleteValueA(key, kPendingRenames);
  }
  RegCloseKey(key);
}

std::vector<std::string> ScopedPendingRenames::AddedDeletions() const {
  std::vector<char> now;
  ReadPendingRenames(now);
  // The system appends to what was there.
  std::vector<std::string> added = DeletionsIn(now);
  std::size_t before = DeletionsIn(saved_).size();
  added.erase(added.begin(), added.begin() + std::min(before, added.size()));
  return added;
}

std::string ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string contents;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    contents.append(buffer, read);
  }
  CloseHandle(file);
  return contents;
}

bool WriteWholeFile(const std::string& path, const std::string& contents) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written,
                      nullptr);
  CloseHandle(file);
  return ok && written == contents.size();
}

ScopedFileRestore::ScopedFileRestore(std::string path)
    : path_(std::move(path)),
      existed_(GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES),
      contents_(existed_ ? ReadWholeFile(path_) : std::string()) {}

ScopedFileRestore::~ScopedFileRestore() {
  if (existed_) {
    WriteWholeFile(path_, contents_);
  } else {
    DeleteFileA(path_.c_str());
  }
}

}  // namespace test

namespace test {

namespace {

std::string HexBytes(const BYTE* data, DWORD size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (DWORD i = 0; i < size; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0x0F];
  }
  return text;
}

void SnapshotInto(HKEY root, const std::string& path, REGSAM view, RegistrySnapshot& snapshot) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
  snapshot[path + "\\"] = "";
  DWORD longestName = 0;
  DWORD longestData = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &longestName, &longestData, nullptr, nullptr);
  std::vector<char> name(longestName + 2);
  std::vector<BYTE> data(longestData + 1);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    if (RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                      &dataSize) != ERROR_SUCCESS) {
      break;
    }
    snapshot[path + "|" + std::string(name.data(), nameLength)] =
        std::to_string(type) + ":" + HexBytes(data.data(), dataSize);
  }
  std::vector<std::string> children;
  char child[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof child;
    if (RegEnumKeyExA(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    children.emplace_back(child, length);
  }
  RegCloseKey(key);
  for (const std::string& name : children) {
    SnapshotInto(root, path.empty() ? name : path + "\\" + name, view, snapshot);
  }
}

using DeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

void ListInto(const std::string& folder, const std::string& prefix,
              std::vector<std::string>& paths) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      paths.push_back(prefix + name + "\\");
      ListInto(folder + "\\" + name, prefix + name + "\\", paths);
    } else {
      paths.push_back(prefix + name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

RegistrySnapshot SnapshotRegistry(HKEY root, const std::string& subKey, REGSAM view) {
  RegistrySnapshot snapshot;
  SnapshotInto(root, subKey, view, snapshot);
  return snapshot;
}

std::vector<std::string> SnapshotDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after) {
  std::vector<std::string> lines;
  for (const auto& [entry, data] : before) {
    auto other = after.find(entry);
    if (other == after.end() || other->second != data) lines.push_back("- " + entry + " = " + data);
  }
  for (const auto& [entry, data] : after) {
    auto other = before.find(entry);
    if (other == before.end() || other->second != data) lines.push_back("+ " + entry + " = " + data);
  }
  return lines;
}

void DeleteKeyTreeInView(HKEY root, const std::string& subKey, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    children.emplace_back(name, length);
  }
  RegCloseKey(key);
  for (const std::string& child : children) DeleteKeyTreeInView(root, subKey + "\\" + child, view);
  // Looked up at run time: Windows XP (the build's target) lacks it.
  auto deleteKeyEx = reinterpret_cast<DeleteKeyExFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  if (deleteKeyEx != nullptr) {
    deleteKeyEx(root, subKey.c_str(), view, 0);
  } else {
    RegDeleteKeyA(root, subKey.c_str());
  }
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> paths;
  ListInto(folder, "", paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}

namespace {

// The kernel's name of HKEY_CURRENT_USER: "\Registry\User\<the user's SID>".
std::wstring CurrentUserKernelPath() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  BYTE buffer[256];
  DWORD size = 0;
  std::wstring path;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    path = L"\\Registry\\User\\S-1-" + std::to_wstring(authority->Value[5]);
    for (UCHAR i = 0; i < *GetSidSubAuthorityCount(sid); ++i) {
      path += L"-" + std::to_wstring(*GetSidSubAuthority(sid, i));
    }
  }
  CloseHandle(token);
  return path;
}

bool OpenLinkKey(const std::string& link, REGSAM access, HKEY& key) {
  DWORD type = REG_NONE;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, link.c_str(), REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  if (RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
          ERROR_SUCCESS &&
      type == REG_LINK) {
    return true;
  }
  RegCloseKey(key);
  return false;
}

}  // namespace

bool CreateRegistryLink(const std::string& link, const std::string& target) {
  std::wstring user = CurrentUserKernelPath();
  if (user.empty()) return false;
  std::wstring wideTarget = user + L"\\" + std::wstring(target.begin(), target.end());
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, link.c_str(), 0, nullptr,
                      REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  // The target's name without a terminator.
  LONG status = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(wideTarget.data()),
                               static_cast<DWORD>(wideTarget.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool RegistryLinkExists(const std::string& link) {
  HKEY key;
  if (!OpenLinkKey(link, 0, key)) return false;
  RegCloseKey(key);
  return true;
}

bool DeleteRegistryLink(const std::string& link) {
  using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
  auto deleteKey = reinterpret_cast<NtDeleteKeyFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
  HKEY key;
  if (!OpenLinkKey(link, DELETE, key)) return true;
  bool deleted = deleteKey != nullptr && deleteKey(key) == 0;
  RegCloseKey(key);
  return deleted;
}

}  // namespace test
