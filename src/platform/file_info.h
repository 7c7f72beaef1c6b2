// What a file tells about itself without being run: its size, and the
// version in its version resource.
#pragma once

#include <cstddef>
#include <cstdint>

// The size of a plain file. False for a folder, a link (reparse point),
// anything that is not there, or whose attributes cannot be read.
bool GetPlainFileSize(const char* path, std::uint64_t& bytes);

// The product version of a program file's version resource as "a.b.c.d".
// False, with text emptied, when the file is missing, holds no version
// resource, or the text does not fit. The file is mapped as data, never
// run.
bool GetProductVersion(const char* path, char* text, std::size_t capacity);
