#include "platform/file_system.h"

#include <cstring>

#include "platform/folder_handles.h"
#include "platform/kernel_handle.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr char kRenameSection[] = "Rename";
constexpr char kDeleteKey[] = "NUL";
constexpr char kRestartProfile[] = "wininit.ini";
// The most a profile section holds on the 9x family.
constexpr std::size_t kSectionSize = 32767;
constexpr DWORD kProtectingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool restartDeletionFails = false;

}  // namespace

DWORD FileAttributes(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return attributes;
  }
  // Deduplicated files, cloud placeholders and the like are reparse points
  // too, but no links: the tag tells.
  KernelHandle entry(CreateFileA(
      path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!entry.IsValid()) return attributes;
  if (!ReparsePointIsLink(entry.Get())) attributes &= ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT};
  SetLastError(ERROR_SUCCESS);
  return attributes;
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool HasProtectingAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kProtectingAttributes) != 0;
}

bool LastFailureFoundNothing() {
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void ClearFileAttributes(const char* path) { SetFileAttributesA(path, 0); }

bool DeleteOneFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool RemoveEmptyFolder(const char* path) { return RemoveDirectoryA(path) != FALSE; }

bool RemoveFolderLink(const char* path) {
  // Windows opens the link itself here, and RemoveDirectoryA removes the
  // link. Wine opens and removes the folder the link points at: an empty
  // one outside would go. Only a handle that shows the link is trusted.
  bool itself = false;
  {
    KernelHandle link(CreateFileA(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    itself = link.IsValid() && GetFileInformationByHandle(link.Get(), &information) != FALSE &&
             IsLink(information.dwFileAttributes);
  }  // closed before the removal: an open handle would keep the link
  return itself && RemoveDirectoryA(path) != FALSE;
}

bool RemoveFolderLinksInTree(char* path) {
  DWORD attributes = FileAttributes(path);
  if (IsLink(attributes)) return !IsFolder(attributes) || RemoveFolderLink(path);
  if (!IsFolder(attributes)) return true;
  const std::size_t length = std::strlen(path);
  bool clean = AppendText(path, kPathSize, "\\*");
  WIN32_FIND_DATAA found;
  HANDLE search = clean ? FindFirstFileA(path, &found) : INVALID_HANDLE_VALUE;
  path[length] = '\0';
  // A folder that cannot be listed cannot be entered by the shell either.
  if (search == INVALID_HANDLE_VALUE) return clean;
  do {
    const char* name = found.cFileName;
    // A file link goes itself: only folders lead elsewhere.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || std::strcmp(name, ".") == 0 ||
        std::strcmp(name, "..") == 0) {
      continue;
    }
    clean = AppendText(path, kPathSize, "\\") && AppendText(path, kPathSize, name) &&
            RemoveFolderLinksInTree(path) && clean;
    path[length] = '\0';
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return clean;
}

bool LastFailureWasNotEmpty() { return GetLastError() == ERROR_DIR_NOT_EMPTY; }

namespace {

bool ReadIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* information) {
  KernelHandle entry(CreateFileA(
      path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return entry.IsValid() && GetFileInformationByHandle(entry.Get(), information) != FALSE;
}

}  // namespace

bool IsSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return ReadIdentity(a, &first) && ReadIdentity(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool MoveOneFile(const char* from, const char* to) { return MoveFileA(from, to) != FALSE; }

bool SetCurrentFolder(const char* path) { return SetCurrentDirectoryA(path) != FALSE; }

bool GetTemporaryFolder(char* path, std::size_t capacity) {
  if (capacity == 0) return false;
  DWORD length = GetTempPathA(static_cast<DWORD>(capacity), path);
  if (length == 0 || length >= capacity) {
    path[0] = '\0';
    return false;
  }
  return true;
}

bool AddRestartDeletion(const char* ini, const char* value) {
  // The section comes as "key=value" lines, each ending in a zero, the last
  // one followed by a second zero.
  static char section[kSectionSize];
  DWORD used = GetPrivateProfileSectionA(kRenameSection, section, kSectionSize, ini);
  std::size_t lineLength = sizeof kDeleteKey + std::strlen(value);  // "NUL=" value
  if (used + 2 >= kSectionSize || used + lineLength + 2 > kSectionSize) {
    return WritePrivateProfileStringA(kRenameSection, kDeleteKey, value, ini) != FALSE;
  }
  char* line = section + used;
  FormatText(line, kSectionSize - used - 1, "%s=%s", kDeleteKey, value);
  line[lineLength + 1] = '\0';
  return WritePrivateProfileSectionA(kRenameSection, section, ini) != FALSE;
}

bool GetShortPath(const char* path, char* out, std::size_t capacity) {
  if (capacity == 0) return false;
  DWORD length = GetShortPathNameA(path, out, static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool DeleteAtRestart(const char* path) {
  if (restartDeletionFails) return false;
  if (NtMajorVersion() != 0)
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  char ini[kPathSize];
  UINT length = GetWindowsDirectoryA(ini, kPathSize);
  if (length == 0 || length >= kPathSize) return false;
  AppendBackslash(ini);
  if (!AppendText(ini, kRestartProfile)) return false;  // a cut name is another file

  char shortPath[kPathSize];
  DWORD shortLength = GetShortPathNameA(path, shortPath, kPathSize);
  const char* value = (shortLength == 0 || shortLength >= kPathSize) ? path : shortPath;
  return AddRestartDeletion(ini, value);
}

void RemoveFolderAtRestart(const char* path) {
  if (NtMajorVersion() != 0) MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool EveryNameInFolder(const char* folder, const char* context,
                       bool (*accept)(const char* name, bool isFolder, const char* context)) {
  char pattern[kPathSize];
  if (!CopyText(pattern, folder)) return false;
  AppendBackslash(pattern);
  if (!AppendText(pattern, "*")) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool all = true;
  do {
    const char* name = found.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    all = accept(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
  } while (all && FindNextFileA(search, &found));
  FindClose(search);
  return all;
}

void SetRestartDeletionFaultForTest(bool fail) { restartDeletionFails = fail; }
