#include "localization/language_file.h"

#include <windows.h>

#include <cstring>

#include "localization/messages.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kDirectionSize = 1024;

// The position after the last backslash, or null. Walks by characters: in
// a double-byte code page a trail byte may equal a backslash.
char* AfterLastBackslash(char* text) {
  char* after = nullptr;
  for (char* p = text; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') after = p + 1;
  }
  return after;
}

// A name without a backslash lives in the program's folder. False when that
// folder is unknown or the path does not fit: a cut path names another file.
bool LanguageFilePath(const char* fileName, char (&path)[kPathSize]) {
  if (!CopyText(path, fileName)) return false;
  if (AfterLastBackslash(path)) return true;
  DWORD length = GetModuleFileNameA(nullptr, path, kPathSize);
  if (length == 0 || length >= kPathSize) return false;
  char* name = AfterLastBackslash(path);
  if (!name) return false;
  *name = '\0';
  return AppendText(path, fileName);
}

}  // namespace

LanguageResources::~LanguageResources() { Unload(); }

void LanguageResources::Unload() {
  FreeLanguageText(text);
  text = nullptr;
  textLength = 0;
  lineOffsets.Clear();
}

void LanguageResources::Load(const char* fileName) {
  Unload();
  LoadText(fileName);
  DecideDirection();
}

void LanguageResources::LoadText(const char* fileName) {
  char path[kPathSize];
  if (!LanguageFilePath(fileName, path)) return;
  File file;
  if (!file.Open(path)) return;
  std::int64_t marker = 0;
  if (!FindLanguageMarker(file, &marker)) return;
  int rawLength = 0;
  text = ReadLanguageRegion(file, marker, &rawLength);
  if (!text) return;
  textLength = UnescapeLanguageText(text, rawLength);
  if (!IndexLanguageLines(text, textLength, lineOffsets)) {
    file.Close();  // the error ends the run: no destructor runs after it
    Unload();
    RaiseMemoryError();
  }
  SortLanguageLines(text, lineOffsets);
}

void LanguageResources::DecideDirection() {
  // A language library can make the layout right to left on its own.
  if (FindResourceA(ResourceModule(), "RTL", MAKEINTRESOURCEA(5) /* RT_DIALOG */)) {
    rightToLeft = true;
    return;
  }
  char direction[kDirectionSize];
  CopyText(direction, "LTR");
  Translate('$', "LTR", direction, sizeof direction);
  rightToLeft = std::strcmp(direction, "RTL") == 0;
}

bool LanguageResources::FindTranslation(char kind, const char* context, const char* source,
                                        LanguageEntry* entry) const {
  if (!IsLoaded()) return false;
  char key[kKeySize];
  MakeLanguageKey(kind, context, source, key);
  return FindLanguageEntry(text, lineOffsets, key, entry);
}

void LanguageResources::CopyTranslation(const LanguageEntry& entry, char* destination,
                                        std::size_t capacity) {
  FormatText(destination, capacity, "%.*s", entry.length, entry.text);
  // The cut at 255 bytes may have split a double-byte character.
  if (entry.cutAtLimit && capacity > 0) {
    char* last = LastChar(destination);
    if (IsLeadByte(*last) && last[1] == '\0') *last = '\0';
  }
}

void LanguageResources::Translate(char kind, const char* context, char* buffer,
                                  std::size_t capacity) const {
  if (BoundedLength(buffer, capacity) == capacity) return;  // not a terminated text
  LanguageEntry entry;
  if (FindTranslation(kind, context, buffer, &entry)) CopyTranslation(entry, buffer, capacity);
}

void LanguageResources::Translate(char kind, const char* context, const char* source,
                                  char* destination, std::size_t capacity) const {
  if (source == destination) {
    Translate(kind, context, destination, capacity);
    return;
  }
  LanguageEntry entry;
  if (FindTranslation(kind, context, source, &entry)) {
    CopyTranslation(entry, destination, capacity);
  } else {
    CopyText(destination, capacity, source);
  }
}
