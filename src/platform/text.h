// Bounded text helpers: every copy, append or format into a fixed buffer goes
// through here. Each always leaves a terminated text (when the capacity is
// not 0) and tells the caller whether the whole text fitted.
#pragma once

#include <cstdarg>
#include <cstddef>

// Buffer sizes shared across the program.
constexpr std::size_t kPathSize = 1024;      // paths
constexpr std::size_t kMessageSize = 512;    // message texts
constexpr std::size_t kListLineSize = 2048;  // one line of the list file

// Copies src into dst. On overflow dst holds as much as fits, cut at a
// character boundary of the ANSI code page, and the result is false.
bool CopyText(char* dst, std::size_t capacity, const char* src);

// Appends src to the text already in dst, with the same rules.
bool AppendText(char* dst, std::size_t capacity, const char* src);

// printf-style formatting; on overflow dst holds the cut text and the
// result is false.
bool FormatText(char* dst, std::size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
bool FormatTextV(char* dst, std::size_t capacity, const char* format, va_list args);

template <std::size_t N>
bool CopyText(char (&dst)[N], const char* src) {
  return CopyText(dst, N, src);
}
template <std::size_t N>
bool AppendText(char (&dst)[N], const char* src) {
  return AppendText(dst, N, src);
}

// Length of a text that may lack its terminator within capacity bytes.
std::size_t BoundedLength(const char* text, std::size_t capacity);
