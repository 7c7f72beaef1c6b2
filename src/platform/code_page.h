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
