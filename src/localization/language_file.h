// The plain-text language file "uninstall.lng": translations keyed by a
// checksum of the built-in text they replace.
#pragma once

#include <cstddef>

class LanguageResources {
 public:
  LanguageResources() = default;
  LanguageResources(const LanguageResources&) = delete;
  LanguageResources& operator=(const LanguageResources&) = delete;

  // Loads the named file from beside the program; a missing file is silent.
  void Load(const char* fileName);
  bool IsLoaded() const { return loaded; }

  // Replaces text in place by its translation, when the file has one.
  // kind is 's' for messages; context names the dialog for dialog texts.
  void Translate(char kind, const char* context, char* text, std::size_t capacity) const;

 private:
  bool loaded = false;
};

extern LanguageResources languageResources;
