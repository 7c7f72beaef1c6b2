#include "localization/language_file.h"

#include <windows.h>

#include <cstring>

#include "localization/dialog_localization.h"
#include "platform/file.h"
#include "platform/memory_error.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

// The direction entry is read as a dialog text.
constexpr std::size_t kDirectionSize = kDialogTextSize;

// A bare name lives in the program's folder. False when that folder is
// unknown or the path does not fit: a cut path names another file.
bool LanguageFilePath(const char* fileName, char (&path)[kPathSize]) {
  if (FileNamePart(fileName) != fileName) return CopyText(path, fileName);
  return PathBesideProgram(fileName, path, kPathSize);
}

}  // namespace

LanguageResources::~LanguageResources() { Unload(); }

void LanguageResources::Unload() {
  FreeLanguageText(text);
  text = nullptr;
  textLength = 0;
  lineOffsets.Clear();
}

void LanguageResources::Load(const char* fileName, HMODULE resourceModule, unsigned codePage) {
  Unload();
  LoadText(fileName, codePage);
  DecideDirection(resourceModule);
}

void LanguageResources::LoadText(const char* fileName, unsigned codePage) {
  char path[kPathSize];
  if (!LanguageFilePath(fileName, path)) return;
  File file;
  if (!file.Open(path)) return;
  std::int64_t marker = 0;
  if (!FindLanguageMarker(file, &marker)) return;
  int rawLength = 0;
  text = ReadLanguageRegion(file, marker, &rawLength);
  if (!text) return;
  LeadBytes leadBytes;
  ReadLeadBytes(codePage, leadBytes.lead);
  textLength = UnescapeLanguageText(text, rawLength, leadBytes);
  if (!IndexLanguageLines(text, textLength, lineOffsets)) {
    file.Close();  // the error ends the run: no destructor runs after it
    Unload();
    RaiseMemoryError();
  }
  SortLanguageLines(text, lineOffsets);
}

void LanguageResources::DecideDirection(HMODULE resourceModule) {
  // A language library can make the layout right to left on its own.
  if (HasDialogResource(resourceModule, "RTL")) {
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
