// The file object: one operating-system file handle, opened for reading and
// closed when the object goes. Also the process-wide error state and the
// out-of-memory error, the one error that ends the run.
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

// The process-wide error state; error codes are Windows error codes.
struct ErrorState {
  int code = 0;
  int count = 0;
};
extern ErrorState errorState;

constexpr int kOutOfMemoryError = ERROR_NOT_ENOUGH_MEMORY;  // 8

// Shows the out-of-memory error to the user; the entry routine sets it, as
// the texts of a message box are not this layer's.
using MemoryErrorReport = void (*)(int code);
void SetMemoryErrorReport(MemoryErrorReport report);

// Records error 8 in the error state, has it reported, and ends the run
// with exit code 0 through the C runtime's exit, so static clean-up runs as
// after a normal end. Callers free what they hold first: nothing returns
// here.
[[noreturn]] void RaiseMemoryError();
