// Byte streams through the C library: a list file read line by line, a
// batch file or a template written byte for byte. No text translation.
#pragma once

#include <cstddef>
#include <cstdio>

enum class LineRead { Line, TooLong, End };

class ByteStream {
 public:
  ByteStream() = default;
  ~ByteStream() { Close(); }
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  bool OpenRead(const char* path);   // "rb"
  bool OpenWrite(const char* path);  // "wb": created or emptied
  bool IsOpen() const { return file_ != nullptr; }
  void Close();

  // Reads the next line, its LF included, into line. A line that does not
  // fit with its terminator is read to its end and reported as TooLong,
  // with line emptied: taken in pieces it would name other paths.
  LineRead ReadLine(char* line, std::size_t capacity);
  void Rewind();

  // Writes exactly count bytes; false when not all were written.
  bool Write(const void* bytes, std::size_t count);

 private:
  std::FILE* file_ = nullptr;
};

// Creates (or replaces) a file holding exactly these bytes; false, with no
// file left behind, when it cannot be written whole.
bool WriteWholeFile(const char* path, const void* bytes, std::size_t count);
