// Environment variables.
#pragma once

#include <cstddef>

// Reads a variable into buffer. A variable that is missing, or longer than
// the buffer holds, leaves the buffer empty and gives false: a cut value
// would be another value.
bool ReadEnvironmentVariable(const char* name, char* buffer, std::size_t capacity);

template <std::size_t N>
bool ReadEnvironmentVariable(const char* name, char (&buffer)[N]) {
  return ReadEnvironmentVariable(name, buffer, N);
}
