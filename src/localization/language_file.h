// The plain-text language file "uninstall.lng": translations keyed by a
// checksum of the built-in text they replace.
#pragma once

#include <windows.h>

#include <cstddef>

#include "localization/language_text.h"

class LanguageResources {
 public:
  LanguageResources() = default;
  ~LanguageResources();
  LanguageResources(const LanguageResources&) = delete;
  LanguageResources& operator=(const LanguageResources&) = delete;

  // Loads the named file: from beside the program when the name has no
  // folder part, else from that path. A missing file, or one without the
  // section marker, is silent. Drops whatever was loaded before. Then
  // decides the direction: right to left when resourceModule (the language
  // library, else the program) holds a dialog "RTL", or the file translates
  // "LTR" to exactly "RTL".
  // An index that cannot grow raises the out-of-memory error, which ends
  // the run; the file is closed and the text freed before. The file is read
  // in the code page it was made for, the ANSI code page unless one is
  // given.
  void Load(const char* fileName, HMODULE resourceModule, unsigned codePage = CP_ACP);
  bool IsLoaded() const { return text != nullptr; }
  bool RightToLeft() const { return rightToLeft; }

  // Dialog localization (dialog_localization.cpp).
  // The dialog's scale from its entry "<width>*<height>" (percent; a
  // missing, zero or negative number is 100); 100 by 100 without an entry
  // or asterisk. True unless both are 100.
  bool ReadDialogScale(const char* dialogName, int* widthPercent, int* heightPercent) const;
  // Translates the caption and the text of every direct child (at most
  // kMaxLocalizedChildren) and rescales the dialog and its children.
  void LocalizeDialog(HWND dialog, const char* dialogName) const;
  // Mirrors the dialog's layout when the language is right to left.
  void ApplyDirection(HWND dialog) const;

  // Replaces text (capacity bytes) in place by its translation when the
  // file has one, cut to fit; otherwise leaves it untouched. kind is 's'
  // for messages, '$' for dialogs; context (may be null) names the dialog.
  void Translate(char kind, const char* context, char* text, std::size_t capacity) const;
  // The same into destination, which gets the source when there is no
  // translation.
  void Translate(char kind, const char* context, const char* source, char* destination,
                 std::size_t capacity) const;

 private:
  void Unload();
  void LoadText(const char* fileName, unsigned codePage);
  void DecideDirection(HMODULE resourceModule);
  bool FindTranslation(char kind, const char* context, const char* source,
                       LanguageEntry* entry) const;
  static void CopyTranslation(const LanguageEntry& entry, char* destination, std::size_t capacity);

  char* text = nullptr;  // unescaped, terminated; null when no file is loaded
  int textLength = 0;
  LineOffsets lineOffsets;  // line starts, sorted by key
  bool rightToLeft = false;
};

extern LanguageResources languageResources;
