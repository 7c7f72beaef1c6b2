// Environment variables.
#pragma once

#include <cstddef>

// What becomes of a character the ANSI code page lacks: Refuse gives no
// value at all (a path with a '?' in it names other files), Replace gives a
// '?' in its place (enough for a text that is only searched for switches).
enum class Unconvertible { Refuse, Replace };

// Reads a variable into buffer, in the ANSI code page. A variable that is
// missing, or longer than the buffer holds, leaves the buffer empty and
// gives false: a cut value would be another value. The NT family's value is
// read in UTF-16 and converted; the 9x family's, or where the wide call
// fails with ERROR_CALL_NOT_IMPLEMENTED, through the narrow call, which
// gives the ANSI bytes as they are (unconvertible does not apply).
bool ReadEnvironmentVariable(const char* name, char* buffer, std::size_t capacity,
                             Unconvertible unconvertible = Unconvertible::Refuse);

template <std::size_t N>
bool ReadEnvironmentVariable(const char* name, char (&buffer)[N],
                             Unconvertible unconvertible = Unconvertible::Refuse) {
  return ReadEnvironmentVariable(name, buffer, N, unconvertible);
}

// Test hook: every later wide call fails with ERROR_CALL_NOT_IMPLEMENTED, as
// the 9x family's stub does.
void SetWideEnvironmentFaultForTest(bool fails);
