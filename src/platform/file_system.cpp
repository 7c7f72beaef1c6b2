#include "platform/file_system.h"

#include <cstring>

#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr char kRenameSection[] = "Rename";
constexpr char kDeleteKey[] = "NUL";
constexpr char kRestartProfile[] = "wininit.ini";
// The most a profile section holds on the 9x family.
constexpr std::size_t kSectionSize = 32767;

}  // namespace

DWORD FileAttributes(const char* path) { return GetFileAttributesA(path); }

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ClearFileAttributes(const char* path) { SetFileAttributesA(path, 0); }

bool DeleteOneFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool RemoveEmptyFolder(const char* path) { return RemoveDirectoryA(path) != FALSE; }

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

void AddRestartDeletion(const char* ini, const char* value) {
  // The section comes as "key=value" lines, each ending in a zero, the last
  // one followed by a second zero.
  static char section[kSectionSize];
  DWORD used = GetPrivateProfileSectionA(kRenameSection, section, kSectionSize, ini);
  std::size_t lineLength = sizeof kDeleteKey + std::strlen(value);  // "NUL=" value
  if (used + 2 >= kSectionSize || used + lineLength + 2 > kSectionSize) {
    WritePrivateProfileStringA(kRenameSection, kDeleteKey, value, ini);
    return;
  }
  char* line = section + used;
  FormatText(line, kSectionSize - used - 1, "%s=%s", kDeleteKey, value);
  line[lineLength + 1] = '\0';
  WritePrivateProfileSectionA(kRenameSection, section, ini);
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

void DeleteAtRestart(const char* path) {
  if (NtMajorVersion() != 0) {
    MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return;
  }
  char ini[kPathSize];
  UINT length = GetWindowsDirectoryA(ini, kPathSize);
  if (length == 0 || length >= kPathSize) return;
  AppendBackslash(ini);
  if (!AppendText(ini, kRestartProfile)) return;  // a cut name is another file

  char shortPath[kPathSize];
  DWORD shortLength = GetShortPathNameA(path, shortPath, kPathSize);
  const char* value = (shortLength == 0 || shortLength >= kPathSize) ? path : shortPath;
  AddRestartDeletion(ini, value);
}
