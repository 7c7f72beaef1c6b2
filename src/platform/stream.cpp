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

void ByteStream::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

LineRead ByteStream::ReadLine(char* line, std::size_t capacity) {
  line[0] = '\0';
  if (file_ == nullptr || capacity < 2) return LineRead::End;
  if (std::fgets(line, static_cast<int>(capacity), file_) == nullptr) {
    line[0] = '\0';
    return LineRead::End;
  }
  std::size_t length = std::strlen(line);
  bool complete = (length > 0 && line[length - 1] == '\n') || std::feof(file_);
  if (complete) return LineRead::Line;
  // The buffer filled before the line ended: skip the rest of it.
  int c;
  do {
    c = std::fgetc(file_);
  } while (c != EOF && c != '\n');
  line[0] = '\0';
  return LineRead::TooLong;
}

void ByteStream::Rewind() {
  if (file_ != nullptr) std::rewind(file_);
}

bool ByteStream::Write(const void* bytes, std::size_t count) {
  if (file_ == nullptr) return false;
  return std::fwrite(bytes, 1, count, file_) == count;
}

bool WriteWholeFile(const char* path, const void* bytes, std::size_t count) {
  ByteStream stream;
  if (!stream.OpenWrite(path)) return false;
  bool written = stream.Write(bytes, count);
  stream.Close();
  if (!written) std::remove(path);
  return written;
}
