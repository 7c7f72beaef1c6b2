// The translatable texts of a Windows program read from its file: the
// string table and the plain DIALOG templates of its resource section.
// Reads the PE format itself, so that it works the same on Linux and on
// Windows.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct DialogTexts {
  std::string name;                   // resource name, e.g. "SETUPDLG"
  std::u16string caption;
  std::vector<std::u16string> items;  // every control's text, in template order
};

struct ProgramTexts {
  std::map<int, std::u16string> strings;  // string id -> text (first language found)
  std::vector<DialogTexts> dialogs;       // in resource order
  bool hasRtlDialog = false;              // a dialog resource named "RTL"
};

// False, with a reason in *error, when the file is no PE image or its
// resources cannot be read.
bool ReadProgramTexts(const std::vector<std::uint8_t>& image, ProgramTexts* texts,
                      std::string* error);
