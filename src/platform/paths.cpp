#include "platform/paths.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/module.h"
#include "platform/text.h"

namespace {

constexpr int kMultiByteFlag = 256;

// Entries 0..255: lead byte of the ANSI code page; entry 256: the code page
// is multi-byte at all.
unsigned char leadByteTable[257];

// Characters Windows refuses in a file name, besides the control
// characters.
constexpr char kNotInFileNames[] = "\\/:*?\"<>|";
constexpr char kDeviceNames[][5] = {"CON", "PRN", "AUX", "NUL", "COM#", "LPT#"};
constexpr char kDeviceDigit = '#';  // stands for 1 to 9

bool IsDevicePattern(const char* name, std::size_t length, const char* pattern) {
  if (length != std::strlen(pattern)) return false;
  for (std::size_t i = 0; i < length; ++i) {
    char c = name[i];
    if (pattern[i] == kDeviceDigit) {
      if (c < '1' || c > '9') return false;
    } else if ((c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) != pattern[i]) {
      return false;
    }
  }
  return true;
}

// Windows reads a device name up to the first dot, trailing blanks dropped.
bool IsDeviceName(const char* name) {
  std::size_t stem = std::strcspn(name, ".");
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  for (const char* pattern : kDeviceNames) {
    if (IsDevicePattern(name, stem, pattern)) return true;
  }
  return false;
}

}  // namespace

bool IsLeadByte(char c) {
  return leadByteTable[kMultiByteFlag] && leadByteTable[static_cast<unsigned char>(c)] != 0;
}

void InitLeadByteTable() {
  for (int b = 0; b < 256; ++b) {
    leadByteTable[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
  }
  CPINFO info{};
  leadByteTable[kMultiByteFlag] = (GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1) ? 1 : 0;
}

void ReadLeadBytes(unsigned codePage, bool (&leadBytes)[256]) {
  std::fill(std::begin(leadBytes), std::end(leadBytes), false);
  CPINFO info{};
  if (!GetCPInfo(codePage, &info)) return;
  // Pairs of first and last byte of a range, ended by a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) leadBytes[b] = true;
  }
}

const char* NextChar(const char* text) {
  if (IsLeadByte(text[0]) && text[1] != '\0') {
    return text + 2;
  }
  return text + 1;
}

char* NextChar(char* text) { return const_cast<char*>(NextChar(static_cast<const char*>(text))); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveColon(char c) { return c == ':'; }

const char* FileNamePart(const char* text) {
  const char* afterSeparator = nullptr;
  for (const char* p = text; *p != '\0'; p = NextChar(p)) {
    if (IsSeparator(*p)) afterSeparator = p + 1;
  }
  if (afterSeparator) return afterSeparator;
  if (text[0] == '\0') return text;
  // "X:name": only when X is a whole character of its own.
  if (IsDriveColon(text[1]) && NextChar(text) == text + 1) return text + 2;
  return text;
}

char* FileNamePart(char* text) {
  return const_cast<char*>(FileNamePart(static_cast<const char*>(text)));
}

const char* LastChar(const char* text) {
  const char* last = text;
  for (const char* p = text; *p != '\0'; p = NextChar(p)) last = p;
  return last;
}

char* LastChar(char* text) { return const_cast<char*>(LastChar(static_cast<const char*>(text))); }

void AppendBackslash(char* text) {
  if (text[0] == '\0') return;
  char* last = LastChar(text);
  // A double-byte character whose trail byte is 0x5C is no backslash.
  if (*last == '\\' && NextChar(last) == last + 1) return;
  std::size_t length = std::strlen(text);
  text[length] = '\\';
  text[length + 1] = '\0';
}

bool JoinPath(char* out, std::size_t capacity, const char* folder, const char* name,
              const char* extension) {
  // AppendBackslash needs room for the backslash and the terminator.
  if (!CopyText(out, capacity, folder) || std::strlen(out) + 2 > capacity) return false;
  AppendBackslash(out);
  return AppendText(out, capacity, name) && AppendText(out, capacity, extension);
}

void CutFileName(char* text) {
  char* name = FileNamePart(text);
  std::ptrdiff_t offset = name - text;
  if (offset >= 2 && (!IsDriveColon(text[1]) || offset >= 4)) {
    name[-1] = '\0';  // the separator goes with the name
  } else {
    *name = '\0';  // a drive root keeps its backslash
  }
}

char* TrimLineEnd(char* text) {
  std::size_t length = std::strlen(text);
  while (length > 0) {
    char c = text[length - 1];
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') break;
    text[--length] = '\0';
  }
  return text;
}

int CompareNames(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}

bool IsPlainFileName(const char* text) {
  if (text[0] == '\0' || IsDeviceName(text)) return false;
  for (const char* p = text; *p != '\0'; p = NextChar(p)) {
    if (NextChar(p) == p + 2) continue;  // a trail byte may equal a backslash
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || std::strchr(kNotInFileNames, c) != nullptr) return false;
  }
  return true;
}

bool PathExists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

bool PathBesideProgram(const char* name, char* out, std::size_t capacity) {
  if (!GetProgramPath(out, capacity)) return false;
  char* namePart = FileNamePart(out);
  *namePart = '\0';
  if (!AppendText(out, capacity, name)) {
    out[0] = '\0';
    return false;
  }
  return true;
}
