#include "platform/stream.h"

#include <cstring>

bool ByteStream::OpenRead(const char* path) {
  Close();
  file_ = std::fopen(path, "rb");
  return file_ != nullptr;
}

bool ByteStream::OpenWrite(const char* path) {
  Close();
  file_ = std::fopen(path, "wb");
  return file_ != nullptr;
}

bool ByteStream::Close() {
  bool closed = file_ == nullptr || std::fclose(file_) == 0;
  file_ = nullptr;
  blockUsed_ = blockRead_ = 0;
  return closed;
}

bool ByteStream::FillBlock() {
  blockRead_ = 0;
  blockUsed_ = std::fread(block_, 1, kBlockSize, file_);
  return blockUsed_ > 0;
}

LineRead ByteStream::ReadLine(char* line, std::size_t capacity) {
  if (capacity > 0) line[0] = '\0';
  if (file_ == nullptr || capacity < 2) return LineRead::End;
  std::size_t length = 0;  // bytes before the LF
  bool any = false, ended = false, tooLong = false;
  while (!ended) {
    if (blockRead_ == blockUsed_ && !FillBlock()) break;
    any = true;
    const char* start = block_ + blockRead_;
    std::size_t available = blockUsed_ - blockRead_;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    std::size_t count = lf != nullptr ? static_cast<std::size_t>(lf - start) : available;
    blockRead_ += count;
    if (lf != nullptr) {
      ++blockRead_;
      ended = true;
    }
    if (tooLong || length + count > capacity - 1) {
      tooLong = true;
      continue;
    }
    std::memcpy(line + length, start, count);
    length += count;
  }
  if (!any) return LineRead::End;
  if (tooLong) {
    line[0] = '\0';
    return LineRead::TooLong;
  }
  if (std::memchr(line, '\0', length) != nullptr) {
    line[0] = '\0';
    return LineRead::HoldsZero;
  }
  if (ended && length < capacity - 1) line[length++] = '\n';
  line[length] = '\0';
  return LineRead::Line;
}

void ByteStream::Rewind() {
  if (file_ != nullptr) std::rewind(file_);
  blockUsed_ = blockRead_ = 0;
}

bool ByteStream::Write(const void* bytes, std::size_t count) {
  if (file_ == nullptr) return false;
  return std::fwrite(bytes, 1, count, file_) == count;
}

bool WriteWholeFile(const char* path, const void* bytes, std::size_t count) {
  ByteStream stream;
  if (!stream.OpenWrite(path)) return false;
  bool written = stream.Write(bytes, count);
  written = stream.Close() && written;  // the last bytes leave the C library's buffer here
  if (!written) std::remove(path);
  return written;
}
