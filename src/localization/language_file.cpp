#include "localization/language_file.h"

// The loader arrives with the language file format; until then no file is
// ever loaded and every text stays as built in.
void LanguageResources::Load(const char*) {}

void LanguageResources::Translate(char, const char*, char*, std::size_t) const {}
