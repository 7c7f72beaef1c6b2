// Narrow texts between the system's two code pages: the ANSI code page the
// program works in, and the OEM code page in which the command interpreter
// reads a batch file.
#pragma once

#include <cstddef>

// Converts an ANSI text to the OEM code page. False, with oem emptied, when
// a character has no OEM form or would not come back as itself (no
// best-fit look-alikes), or when the result does not fit capacity bytes.
// Where the two code pages are the same (936), the bytes stay as they are.
bool ConvertToOem(const char* ansi, char* oem, std::size_t capacity);

// True when text[0, length) is one character of the ANSI code page that is
// a superscript digit one, two or three (U+00B9, U+00B2, U+00B3; bytes
// 0xB9, 0xB2 and 0xB3 in code page 1252): the system takes "COM\xB9" and
// "LPT\xB2" for devices as it does "COM1".
bool IsSuperscriptDigit(const char* text, std::size_t length);
