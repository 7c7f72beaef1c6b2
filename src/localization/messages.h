// Message texts by string id, and the language library "orvlng.dll" that a
// translated installation places beside the program.
#pragma once

#include <windows.h>

// Holder of the language library. While the library is loaded it is the
// resource module: dialogs, the dialog icon and the string table come from
// it; otherwise they come from the program itself.
class ExtResource {
 public:
  ExtResource() = default;
  ExtResource(const ExtResource&) = delete;
  ExtResource& operator=(const ExtResource&) = delete;
  ~ExtResource() { Unload(); }

  // Loads "orvlng.dll" from the folder of pathInFolder, or from the
  // program's own folder when it is null. A missing library is silent.
  void Load(HINSTANCE programModule, const char* pathInFolder = nullptr);
  // Frees the library so that its file can be deleted.
  void Unload();
  bool IsLoaded() const { return loaded; }

 private:
  bool loaded = false;
};

extern ExtResource extResource;

// The program's own module (always holds the built-in texts and dialogs).
HINSTANCE ProgramModule();
// The language library while it is loaded, else the program module.
HINSTANCE ResourceModule();
// The module to create the named dialog from: the resource module, or the
// program module when the language library lacks that dialog (a library of
// strings alone), as a string it lacks falls back to the built-in one.
HINSTANCE DialogModule(const char* dialogName);

// The text of a string id in a ring of eight 512-byte slots: valid through
// the next seven calls. Never fails; the text may be empty.
const char* MessageText(UINT id);

// As MessageText, for the texts used as a format with one path argument. A
// replacement that is not exactly one "%s" (a literal "%%" aside) would
// misread the arguments, so the built-in text stands in for it then.
const char* MessageFormatForPath(UINT id);

// As MessageText, for the texts used as a file name inside a given folder
// (the program group's link names). A replacement that holds a separator,
// a drive colon or anything else that would make it name another place (or
// a device) is not used: the built-in text stands in for it.
const char* MessageTextForFileName(UINT id);

// True when format holds exactly one "%s" and no other conversion.
bool IsSinglePathFormat(const char* format);
