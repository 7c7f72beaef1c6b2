// The file object: one operating-system file handle, opened for reading and
// closed when the object goes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/text.h"

// A device read that fails for a large count is made once more for this
// many bytes: console and pipe reads of older systems refuse big counts.
constexpr int kDeviceReadRetrySize = 20000;

class File {
 public:
  File() = default;
  virtual ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading, shared for reading and writing so
  // that a file another program writes can still be read. An open file is
  // closed first. False, with the object closed, when it cannot be opened
  // or its name does not fit in kPathSize bytes.
  bool Open(const char* name);
  // The current position; -1 when it cannot be had (a pipe has none).
  std::int64_t Tell();
  // Moves to position, counted from the beginning. True on success, and on
  // an object that is not open.
  bool Seek(std::int64_t position);
  // The count of bytes read, 0 at the end of the file, -1 when the read
  // failed.
  int Read(void* buffer, int count);
  // One read of count bytes; on a device a failed read of more than
  // kDeviceReadRetrySize bytes is made once more for that many.
  int DirectRead(void* buffer, int count);
  // True for an open character device or pipe.
  bool IsDevice() const;
  // Closes an open handle. False only when closing it failed.
  bool Close();

  bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
  const char* Name() const { return name; }  // empty until opened

 private:
  HANDLE handle = INVALID_HANDLE_VALUE;
  char name[kPathSize] = {};
};
