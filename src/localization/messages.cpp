#include "localization/messages.h"

#include "localization/language_file.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr int kRingSlots = 8;
constexpr char kLibraryName[] = "orvlng.dll";

HINSTANCE programModule = nullptr;
HINSTANCE resourceModule = nullptr;

char messageRing[kRingSlots][kMessageSize];
int ringIndex = 0;

char* NextSlot() {
  ringIndex = (ringIndex + 1) % kRingSlots;
  char* slot = messageRing[ringIndex];
  slot[0] = '\0';
  return slot;
}

void LoadBuiltIn(UINT id, char* slot) {
  if (LoadStringA(programModule, id, slot, kMessageSize) <= 0) slot[0] = '\0';
}

}  // namespace

void ExtResource::Load(HINSTANCE program, const char* pathInFolder) {
  Unload();
  programModule = program;
  resourceModule = program;

  char libraryPath[kPathSize];
  if (pathInFolder) {
    if (!CopyText(libraryPath, pathInFolder)) return;
    *FileNamePart(libraryPath) = '\0';
    if (!AppendText(libraryPath, kLibraryName)) return;
  } else if (!PathBesideProgram(kLibraryName, libraryPath, kPathSize)) {
    return;  // a cut path names another folder
  }

  HMODULE library = LoadLibraryFile(libraryPath);
  if (library) {
    resourceModule = library;
    loaded = true;
  }
}

void ExtResource::Unload() {
  if (!loaded) return;
  FreeLibraryFile(resourceModule);
  resourceModule = programModule;
  loaded = false;
}

HINSTANCE ProgramModule() { return programModule; }

HINSTANCE ResourceModule() { return resourceModule; }

HINSTANCE DialogModule(const char* dialogName) {
  if (resourceModule != programModule && !HasDialogResource(resourceModule, dialogName)) {
    return programModule;
  }
  return resourceModule;
}

const char* MessageText(UINT id) {
  char* slot = NextSlot();
  if (languageResources.IsLoaded()) {
    // A language file translates the built-in texts; the library's string
    // table is not consulted then.
    LoadBuiltIn(id, slot);
  } else if (LoadStringA(resourceModule, id, slot, kMessageSize) <= 0) {
    LoadBuiltIn(id, slot);
  }
  languageResources.Translate('s', nullptr, slot, kMessageSize);
  return slot;
}

bool IsSinglePathFormat(const char* format) {
  // Byte by byte, as the formatter reads it: a lone lead byte does not
  // hide the '%' after it, and no trail byte is a '%'.
  int conversions = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    if (*p != 's') return false;
    ++conversions;
  }
  return conversions == 1;
}

// The translation when usable, else the built-in text in the same ring slot.
static const char* MessageTextIf(UINT id, bool (*usable)(const char*)) {
  const char* text = MessageText(id);
  if (usable(text)) return text;
  char* slot = const_cast<char*>(text);  // our own ring slot
  LoadBuiltIn(id, slot);
  return slot;
}

const char* MessageFormatForPath(UINT id) { return MessageTextIf(id, IsSinglePathFormat); }

const char* MessageTextForFileName(UINT id) { return MessageTextIf(id, IsPlainFileName); }
