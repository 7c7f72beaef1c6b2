// Byte streams through the C library: a list file read line by line, a
// batch file or a template written byte for byte. No text translation.
#pragma once

#include <cstddef>
#include <cstdio>

// TooLong and HoldsZero lines are skipped whole by their readers: cut at the
// buffer's end or at the zero byte, they would name other paths.
enum class LineRead { Line, TooLong, HoldsZero, End };

class ByteStream {
 public:
  ByteStream() = default;
  ~ByteStream() { Close(); }
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  bool OpenRead(const char* path);   // "rb"
  bool OpenWrite(const char* path);  // "wb": created or emptied
  bool IsOpen() const { return file_ != nullptr; }
  // False when bytes still buffered for writing could not be written.
  bool Close();

  // Reads the next line into line: its bytes up to the LF, the LF too when
  // there is room for it, and a terminator. A line whose bytes before the
  // LF do not fit with the terminator is read to its end and reported as
  // TooLong; one holding a zero byte as HoldsZero; line is then emptied.
  LineRead ReadLine(char* line, std::size_t capacity);
  void Rewind();

  // Writes exactly count bytes; false when not all were written.
  bool Write(const void* bytes, std::size_t count);

 private:
  static constexpr std::size_t kBlockSize = 16384;
  bool FillBlock();

  std::FILE* file_ = nullptr;
  // Read ahead a block at a time: lines are cut out of it with their exact
  // length, zero bytes included.
  char block_[kBlockSize];
  std::size_t blockUsed_ = 0;
  std::size_t blockRead_ = 0;
};

// Creates (or replaces) a file holding exactly these bytes; false, with no
// file left behind, when it cannot be written whole.
bool WriteWholeFile(const char* path, const void* bytes, std::size_t count);
