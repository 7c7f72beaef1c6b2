#include "installation/installation.h"

#include <cstring>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

// A component that is "..", or that the system may trim to it: only dots
// and blanks, with two dots or more.
bool IsParentComponent(const char* start, const char* end) {
  int dots = 0;
  for (const char* p = start; p < end; ++p) {
    if (*p == '.') {
      ++dots;
    } else if (*p != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

constexpr const char* kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
constexpr std::size_t kLongestDeviceName = 7;

// "COM" or "LPT" and one digit from 1 to 9, or a superscript one, two or
// three in the ANSI code page.
bool IsNumberedDevice(const char* base, const char* start, std::size_t length) {
  if (std::strncmp(base, "COM", 3) != 0 && std::strncmp(base, "LPT", 3) != 0) return false;
  if (length == 4 && base[3] >= '1' && base[3] <= '9') return true;
  return length > 3 && IsSuperscriptDigit(start + 3, length - 3);
}

// The system takes a component for a device by its part before the first
// dot, without trailing blanks: "nul", "NUL.txt", "nul .", "COM1.log".
bool IsDeviceComponent(const char* start, const char* end) {
  const char* stop = start;
  while (stop < end && *stop != '.') stop = NextChar(stop);
  while (stop > start && stop[-1] == ' ') --stop;
  std::size_t length = static_cast<std::size_t>(stop - start);
  if (length < 3 || length > kLongestDeviceName) return false;
  char base[kLongestDeviceName + 1];
  for (std::size_t i = 0; i < length; ++i) {
    char c = start[i];
    base[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  base[length] = '\0';
  for (const char* device : kDeviceNames) {
    if (std::strcmp(base, device) == 0) return true;
  }
  return IsNumberedDevice(base, start, length);
}

}  // namespace

bool CutToProgramFolder(char* path) {
  // Character by character: in a double-byte code page a trail byte may
  // have the value of a backslash.
  char* last = nullptr;
  for (char* p = path; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') last = p;
  }
  if (last == nullptr) return false;
  if (last > path && IsDriveColon(last[-1])) {
    last[1] = '\0';
  } else {
    last[0] = '\0';
  }
  return true;
}

bool GetProgramFolder(char* folder, std::size_t capacity) {
  if (!GetProgramPath(folder, capacity) || !CutToProgramFolder(folder)) {
    if (capacity > 0) folder[0] = '\0';
    return false;
  }
  return true;
}

bool GetProgramFolderPrefix(char* prefix, std::size_t capacity) {
  // The folder is shorter than the program's path: room for one more.
  if (!GetProgramFolder(prefix, capacity)) return false;
  AppendBackslash(prefix);
  return true;
}

bool OpenListFile(const char* folderPrefix, ByteStream& list, char* listPath,
                  std::size_t capacity) {
  return JoinPath(listPath, capacity, folderPrefix, kListFileName) && list.OpenRead(listPath);
}

ListLine ReadListLine(ByteStream& list, char* line, std::size_t capacity) {
  LineRead read = list.ReadLine(line, capacity);
  if (read == LineRead::End) return ListLine::End;
  if (read != LineRead::Line) return ListLine::Skip;  // a cut line names another path
  TrimLineEnd(line);
  return line[0] == '\0' ? ListLine::Skip : ListLine::Entry;
}

bool EntryStaysInFolder(const char* entry) {
  // "\x", "\\server\share", "\\?\C:\x" and "/x" all leave the folder.
  if (IsSeparator(entry[0])) return false;
  const char* p = entry;
  while (*p != '\0') {
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) {
      if (IsDriveColon(*p)) return false;  // "C:\x", "C:x", "C:..\x"
      p = NextChar(p);
    }
    if (IsParentComponent(start, p)) return false;
    if (*p != '\0') ++p;  // the separator, a single byte
  }
  return true;
}

bool NamesDevice(const char* entry) {
  const char* p = entry;
  while (*p != '\0') {
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) p = NextChar(p);
    if (IsDeviceComponent(start, p)) return true;
    if (*p != '\0') ++p;
  }
  return false;
}

bool FindTemporaryName(const char* path, char* name, std::size_t capacity) {
  for (int i = 0; i < kTemporaryNameCount; ++i) {
    if (!FormatText(name, capacity, "%s.%d.tmp", path, i)) return false;
    if (FileAttributes(name) == INVALID_FILE_ATTRIBUTES) return true;
  }
  return true;  // the last name tried; moving onto it fails
}

bool IsTemporaryName(const char* name) {
  std::size_t length = std::strlen(name);
  if (length < 7 || CompareNames(name + length - 4, ".tmp") != 0) return false;
  std::size_t digits = length - 4;
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  return digits < length - 4 && digits > 1 && name[digits - 1] == '.';
}
