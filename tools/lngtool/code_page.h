// UTF-16 texts of the resources in the bytes of a Windows code page, as
// GetWindowTextA and LoadStringA give them to the program.
#pragma once

#include <string>

#include "localization/language_text.h"

// False when the code page is unknown or a character has no form in it
// (the program would read a question mark there).
bool ToCodePage(const std::u16string& text, int codePage, std::string* bytes);
// For messages written to the console: the code page's bytes as UTF-8 on
// Linux; unchanged on Windows, whose console shows the code page.
std::string ForConsole(const std::string& bytes, int codePage);
// The lead bytes of a code page, as the program's loader takes them from
// the system; none for a single-byte or unknown code page.
LeadBytes LeadBytesOf(int codePage);
