#include "support/test_support.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
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
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
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
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(strlen(version) + 1));
    RegCloseKey(key);
  }
}

ScopedWindowsVersion::~ScopedWindowsVersion() { DeleteKeyTree(HKEY_CURRENT_USER, key_); }

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FixtureFile(const char* folder, const char* file) {
  return ExeFolder() + "\\fixtures\\" + folder + "\\" + file;
}

bool WaitForPath(const std::string& path, bool present, DWORD timeoutMs) {
  return WaitUntil([&] { return Exists(path) == present; }, timeoutMs);
}

bool RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveFolderLink(path);  // what it points at is not ours
        continue;
      }
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

namespace {

// The Unix path Wine maps a Windows path to; empty when there is none.
std::string UnixPath(const std::string& path) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return "";
  std::wstring wide(path.begin(), path.end());
  char* name = unixName(wide.c_str());
  if (!name) return "";
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

}  // namespace

bool MakeFolderLink(const std::string& link, const std::string& target) {
  std::string unixLink = UnixPath(link), unixTarget = UnixPath(target);
  if (unixLink.empty() || unixTarget.empty()) return false;
  RunAndWait("Z:\\bin\\ln -s " + unixTarget + " " + unixLink);
  // Wine does not wait for the Unix tool to end.
  if (!WaitForPath(link, true, 5000)) return false;
  return (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RemoveFolderLink(const std::string& link) {
  // Wine's own calls, its path mapping too, reach through the link to its
  // folder: the link is named by its folder's Unix path.
  std::size_t slash = link.find_last_of('\\');
  if (slash == std::string::npos) return false;
  std::string unixFolder = UnixPath(link.substr(0, slash));
  if (unixFolder.empty()) return false;
  // A real folder is never removed here. A dangling link, which Wine does
  // not show at all, is removed without a wait for something to go.
  DWORD attributes = GetFileAttributesA(link.c_str());
  bool shown = attributes != INVALID_FILE_ATTRIBUTES;
  if (shown && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  RunAndWait("Z:\\bin\\rm -f " + unixFolder + "/" + link.substr(slash + 1));
  return !shown || WaitForPath(link, false, 5000);
}

bool SwapFolderForLink(const std::string& folder, const std::string& aside,
                       const std::string& target) {
  MoveFileA(folder.c_str(), aside.c_str());
  return MakeFolderLink(folder, target);
}

void MakeFolders(const std::string& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
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
  bool found =
      RegQueryValueExA(key, kPendingRenames, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
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
                   reinterpret_cast<const BYTE*>(saved_.data()), static_cast<DWORD>(saved_.size()));
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
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  BOOL ok =
      WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
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

namespace {

std::string WininitPath() {
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  return std::string(windows) + "\\wininit.ini";
}

}  // namespace

ScopedNoWininit::ScopedNoWininit() : path_(WininitPath()), restore_(path_) {
  DeleteFileA(path_.c_str());
}

}  // namespace test

namespace test {

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return std::string();
  return path;
}

std::string ShortcutPath(const ShortcutPlace& place) {
  std::string folder = SpecialFolder(place.csidl);
  return folder.empty() ? std::string() : folder + "\\" + place.name;
}

bool IsWow64() {
  using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
  FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
  auto isWow64 = reinterpret_cast<IsWow64Function>(reinterpret_cast<void (*)()>(proc));
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

std::vector<const char*> HandlerNamesInUse() {
  if (IsWow64()) return {"Korvik32", "Korvik"};
  return {"Korvik"};
}

// --- Registry ---------------------------------------------------------------

namespace {

constexpr DWORD kMaxValueBytes = 4096;

// An open key, closed when it goes.
class Key {
 public:
  Key(HKEY parent, const std::string& path, REGSAM access) {
    if (RegOpenKeyExA(parent, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

using DeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

LONG DeleteOneKey(HKEY parent, const std::string& name, REGSAM view) {
  // Looked up at run time: Windows XP (the build's target) lacks it.
  static const auto deleteKeyEx =
      reinterpret_cast<DeleteKeyExFunction>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  return deleteKeyEx ? deleteKeyEx(parent, name.c_str(), view, 0)
                     : RegDeleteKeyA(parent, name.c_str());
}

}  // namespace

bool KeyExists(HKEY root, const std::string& path, REGSAM view) {
  return static_cast<bool>(Key(root, path, KEY_QUERY_VALUE | view));
}

RawValue ReadRaw(HKEY root, const std::string& path, const char* name, REGSAM view) {
  RawValue value;
  HKEY key;
  value.status = RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key);
  if (value.status != ERROR_SUCCESS) return value;
  std::vector<char> data(kMaxValueBytes, kGarbage);
  DWORD size = kMaxValueBytes;
  value.status = RegQueryValueExA(key, name, nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  value.present = value.status == ERROR_SUCCESS;
  if (value.present) value.data.assign(data.data(), size);
  return value;
}

std::string ReadText(HKEY root, const std::string& path, const char* name, REGSAM view) {
  RawValue value = ReadRaw(root, path, name, view);
  if (!value.present) return "<absent>";
  if (value.type != REG_SZ) return "<type " + std::to_string(value.type) + ">";
  if (value.data.empty() || value.data.back() != '\0') return "<unterminated>";
  return value.data.substr(0, value.data.size() - 1);
}

long long ReadNumber(HKEY root, const std::string& path, const char* name, REGSAM view) {
  RawValue value = ReadRaw(root, path, name, view);
  if (!value.present || value.type != REG_DWORD || value.data.size() != sizeof(DWORD)) return -1;
  DWORD number;
  std::memcpy(&number, value.data.data(), sizeof number);
  return number;
}

std::vector<std::string> SubKeyNames(HKEY root, const std::string& path, REGSAM view) {
  Key key(root, path, KEY_ENUMERATE_SUB_KEYS | view);
  return key ? SubKeyNames(key.get()) : std::vector<std::string>();
}

std::vector<std::string> ValueNames(HKEY root, const std::string& path, REGSAM view) {
  std::vector<std::string> names;
  Key key(root, path, KEY_QUERY_VALUE | view);
  if (!key) return names;
  char name[16384];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  std::sort(names.begin(), names.end());
  return names;
}

LONG SetRawValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
                 DWORD size, REGSAM view) {
  HKEY key;
  LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return status;
}

void DeleteValue(HKEY root, const std::string& path, const char* name, REGSAM view) {
  Key key(root, path, KEY_SET_VALUE | view);
  if (key) RegDeleteValueA(key.get(), name);
}

bool DeleteKeyTree(HKEY root, const std::string& subKey, REGSAM view) {
  if (subKey.empty()) return false;  // never a root
  {
    Key key(root, subKey, KEY_READ | view);
    // Always the first child: each is gone after its turn.
    while (key) {
      char name[256];
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
              ERROR_SUCCESS ||
          !DeleteKeyTree(key.get(), std::string(name, length), view)) {
        break;
      }
    }
  }
  LONG status = DeleteOneKey(root, subKey, view);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// --- Snapshots --------------------------------------------------------------

namespace {

std::string Join(const std::string& path, const std::string& name) {
  return path.empty() ? name : path + "\\" + name;
}

// The values of an open key and its subkeys' names; with deep, everything
// below them too.
void SnapshotKey(HKEY key, const std::string& label, REGSAM view, bool deep,
                 RegistrySnapshot& snapshot) {
  snapshot[label + "\\"] = "";
  DWORD longestName = 0;
  DWORD longestData = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                   &longestData, nullptr, nullptr);
  std::vector<char> name(longestName + 2);
  std::vector<char> data(longestData + 1);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    if (RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS) {
      break;
    }
    snapshot[label + "|" + std::string(name.data(), nameLength)] =
        SnapshotData(type, std::string(data.data(), dataSize));
  }
  for (const std::string& child : SubKeyNames(key)) {
    if (!deep) {
      snapshot[Join(label, child) + "\\"] = "";
      continue;
    }
    Key open(key, child, KEY_READ | view);
    if (open) SnapshotKey(open.get(), Join(label, child), view, deep, snapshot);
  }
}

void SnapshotInto(HKEY root, const std::string& path, const std::string& label, REGSAM view,
                  bool deep, RegistrySnapshot& snapshot) {
  Key key(root, path, KEY_READ | view);
  if (key) SnapshotKey(key.get(), label, view, deep, snapshot);
}

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
  SnapshotInto(root, subKey, subKey, view, true, snapshot);
  return snapshot;
}

std::string SnapshotData(DWORD type, const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = std::to_string(type) + ":";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (i > 0) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::vector<std::string> SnapshotDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after) {
  auto line = [](const char* sign, const std::string& entry, const std::string& data) {
    return sign + entry + (data.empty() ? "" : " = " + data);
  };
  std::vector<std::string> lines;
  for (const auto& [entry, data] : before) {
    auto other = after.find(entry);
    if (other == after.end() || other->second != data) lines.push_back(line("- ", entry, data));
  }
  for (const auto& [entry, data] : after) {
    auto other = before.find(entry);
    if (other == before.end() || other->second != data) lines.push_back(line("+ ", entry, data));
  }
  return lines;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& path : ListTree(folder)) {
    std::size_t slash = path.find('\\');
    if (slash == std::string::npos || slash + 1 == path.size()) {
      names.push_back(path.substr(0, slash));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> paths;
  ListInto(folder, "", paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}

// --- The product's footprint ------------------------------------------------

namespace {

constexpr char kProductKey[] = "Software\\Korvik";  // under HKEY_CURRENT_USER
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr char kShellExtensionsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

const char* const kArchiveExtensions[] = {
    ".orv", ".zip", ".cab", ".arj", ".lzh",  ".lha", ".ace", ".7z",  ".tar", ".gz", ".tgz",
    ".uue", ".xxe", ".uu",  ".bz2", ".tbz2", ".bz",  ".tbz", ".jar", ".iso", ".z",  ".taz"};
const char* const kProgramIds[] = {"Korvik", "Korvik.ZIP", "Korvik.REV"};
const char* const kClassIds[] = {"{6F2A9C31-5B17-4C3E-8A0D-D3B58C1E47A2}",
                                 "{6F2A9C31-5B27-4C3E-8A0D-D3B58C1E47A2}"};
const char* const kHandlerNames[] = {"Korvik", "Korvik32"};
// The shell objects whose handler keys the shell extension writes; each
// "shellex" key is walked whole, neighbours' handlers included.
const char* const kShellObjects[] = {"*", "Folder", "Drive", "Directory", "exefile"};
const char* const kNameKeyedParents[] = {
    "*\\shellex\\ContextMenuHandlers",         "Folder\\shellex\\ContextMenuHandlers",
    "Folder\\shellex\\DragDropHandlers",       "Drive\\shellex\\DragDropHandlers",
    "Directory\\shellex\\ContextMenuHandlers", "Directory\\shellex\\DragDropHandlers"};
constexpr char kExeSheetHandlers[] = "exefile\\shellex\\PropertySheetHandlers";

const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// Walked whole: the start menus hold the program groups.
const int kLinkFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU,
                            CSIDL_COMMON_STARTMENU};

// What the product makes and the clean-up deletes.
std::vector<RegistryKey> OwnedKeys() {
  std::vector<RegistryKey> keys;
  for (const std::string& extension : FootprintExtensions()) {
    keys.push_back({HKEY_CLASSES_ROOT, extension});
  }
  for (const char* id : kProgramIds) keys.push_back({HKEY_CLASSES_ROOT, id});
  for (const char* classId : kClassIds) {
    for (REGSAM view : kViews) {
      keys.push_back({HKEY_CLASSES_ROOT, std::string("CLSID\\") + classId, view});
    }
    keys.push_back({HKEY_CLASSES_ROOT, std::string(kExeSheetHandlers) + "\\" + classId});
  }
  for (const char* parent : kNameKeyedParents) {
    for (const char* name : kHandlerNames) {
      keys.push_back({HKEY_CLASSES_ROOT, std::string(parent) + "\\" + name});
    }
  }
  keys.push_back({HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "\\Korvik.exe"});
  keys.push_back({HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\Korvik archiver"});
  keys.push_back({HKEY_CURRENT_USER, kProductKey});
  return keys;
}

std::string RootName(HKEY root, REGSAM view) {
  std::string name = root == HKEY_CLASSES_ROOT    ? "HKCR"
                     : root == HKEY_LOCAL_MACHINE ? "HKLM"
                     : root == HKEY_CURRENT_USER  ? "HKCU"
                     : root == HKEY_USERS         ? "HKU"
                                                  : "ROOT";
  return view == KEY_WOW64_64KEY ? name + "64" : name;
}

void Walk(const RegistryKey& key, bool deep, RegistrySnapshot& snapshot) {
  std::string label = RootName(key.root, key.view);
  if (!key.path.empty()) label += "\\" + key.path;
  SnapshotInto(key.root, key.path, label, key.view, deep, snapshot);
}

// A folder's files with their sizes, and its folders, below it.
void FilesInto(const std::string& folder, RegistrySnapshot& snapshot) {
  for (const std::string& relative : ListTree(folder)) {
    std::string path = folder + "\\" + relative;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    bool isFile =
        relative.back() != '\\' && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    snapshot["FILE " + path] = isFile ? std::to_string(data.nFileSizeLow) + " bytes" : "";
  }
}

}  // namespace

std::string Volume(int number) {
  char name[8];
  std::snprintf(name, sizeof name, ".o%02d", number);
  return name;
}

std::vector<std::string> FootprintExtensions() {
  std::vector<std::string> extensions(std::begin(kArchiveExtensions), std::end(kArchiveExtensions));
  extensions.push_back(".rev");
  for (int number = 0; number < kVolumeCount; ++number) extensions.push_back(Volume(number));
  return extensions;
}

void ResetFootprint(const std::vector<RegistryKey>& prepared) {
  for (const RegistryKey& key : OwnedKeys()) DeleteKeyTree(key.root, key.path, key.view);
  for (const RegistryKey& key : prepared) DeleteKeyTree(key.root, key.path, key.view);
  for (const char* classId : kClassIds) DeleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, classId);
  for (const ShortcutPlace& place : kShortcutPlaces) {
    std::string path = ShortcutPath(place);
    if (path.empty()) continue;
    if (place.group) {
      RemoveTree(path);
    } else {
      DeleteFileA(path.c_str());
    }
  }
}

RegistrySnapshot SnapshotFootprint(const std::vector<RegistryKey>& prepared,
                                   const std::vector<std::string>& folders) {
  RegistrySnapshot snapshot;
  // The names directly below the keys where a wrong name, root or view
  // would put a key, or a wrong deletion take one away.
  const RegistryKey listed[] = {
      {HKEY_CLASSES_ROOT, ""},
      {HKEY_CLASSES_ROOT, "CLSID", KEY_WOW64_32KEY},
      {HKEY_CLASSES_ROOT, "CLSID", KEY_WOW64_64KEY},
      {HKEY_CURRENT_USER, "Software"},
      {HKEY_CURRENT_USER, "Software\\Classes"},
      {HKEY_LOCAL_MACHINE, "Software"},
      {HKEY_LOCAL_MACHINE, kWindowsKey},
  };
  for (const RegistryKey& key : listed) Walk(key, false, snapshot);
  // Whole: the product's own keys, those around them that hold other
  // programs' entries beside the product's, and the test's own.
  std::vector<RegistryKey> whole = OwnedKeys();
  for (const char* object : kShellObjects) {
    whole.push_back({HKEY_CLASSES_ROOT, std::string(object) + "\\shellex"});
  }
  for (const char* key : {kUninstallKey, kAppPathsKey, kShellExtensionsKey}) {
    whole.push_back({HKEY_LOCAL_MACHINE, key});
  }
  whole.insert(whole.end(), prepared.begin(), prepared.end());
  for (const RegistryKey& key : whole) Walk(key, true, snapshot);
  for (int csidl : kLinkFolders) FilesInto(SpecialFolder(csidl), snapshot);
  for (const std::string& folder : folders) FilesInto(folder, snapshot);
  return snapshot;
}

ScopedFootprintReset::ScopedFootprintReset(std::vector<RegistryKey> prepared)
    : prepared_(std::move(prepared)) {
  ResetFootprint(prepared_);
}

ScopedFootprintReset::~ScopedFootprintReset() { ResetFootprint(prepared_); }

// --- Registry links ----------------------------------------------------------

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

bool OpenLinkKey(HKEY root, const std::string& link, REGSAM access, HKEY& key) {
  DWORD type = REG_NONE;
  if (RegOpenKeyExA(root, link.c_str(), REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
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

std::wstring KernelKeyPath(HKEY root, const std::string& path) {
  std::wstring base;
  if (root == HKEY_CURRENT_USER) {
    base = CurrentUserKernelPath();
    if (base.empty()) return base;
  } else if (root == HKEY_LOCAL_MACHINE) {
    base = L"\\Registry\\Machine";
  } else if (root == HKEY_CLASSES_ROOT) {
    base = L"\\Registry\\Machine\\Software\\Classes";
  } else {
    return std::wstring();
  }
  return base + L"\\" + std::wstring(path.begin(), path.end());
}

bool CreateRegistryLink(HKEY root, const std::string& link, const std::wstring& kernelTarget) {
  if (kernelTarget.empty()) return false;
  HKEY key;
  if (RegCreateKeyExA(root, link.c_str(), 0, nullptr, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  // The target's name without a terminator.
  LONG status = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(kernelTarget.data()),
                               static_cast<DWORD>(kernelTarget.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool CreateRegistryLink(const std::string& link, const std::string& target) {
  return CreateRegistryLink(HKEY_CURRENT_USER, link, KernelKeyPath(HKEY_CURRENT_USER, target));
}

bool RegistryLinkExists(HKEY root, const std::string& link) {
  HKEY key;
  if (!OpenLinkKey(root, link, 0, key)) return false;
  RegCloseKey(key);
  return true;
}

bool RegistryLinkExists(const std::string& link) {
  return RegistryLinkExists(HKEY_CURRENT_USER, link);
}

bool DeleteRegistryLink(HKEY root, const std::string& link) {
  using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
  auto deleteKey = reinterpret_cast<NtDeleteKeyFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
  HKEY key;
  if (!OpenLinkKey(root, link, DELETE, key)) return true;
  bool deleted = deleteKey != nullptr && deleteKey(key) == 0;
  RegCloseKey(key);
  return deleted;
}

bool DeleteRegistryLink(const std::string& link) {
  return DeleteRegistryLink(HKEY_CURRENT_USER, link);
}

}  // namespace test
