// Narrow texts between the system's two code pages: the ANSI code page the
// program works in, and the OEM code page in which the command interpreter
// reads a batch file.
#pragma once

#include <cstddef>

// Converts a UTF-16 text to a code page (CP_ACP, CP_OEMCP or a number).
// False, with narrow emptied, when it does not fit capacity bytes. *lossy
// tells whether a character has no form of its own there and stands as the
// default character or a best-fit look-alike. WC_NO_BEST_FIT_CHARS is passed
// only where the system takes it (Windows 2000 and later), and the call is
// made again without it when it is refused.
bool WideToCodePage(unsigned codePage, const wchar_t* wide, char* narrow, std::size_t capacity,
                    bool* lossy);

// Test hook: every later conversion that passes WC_NO_BEST_FIT_CHARS fails
// with ERROR_INVALID_FLAGS, as on a system that does not know the flag.
void SetNoBestFitRejectedForTest(bool rejected);

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
