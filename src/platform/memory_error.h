// The process-wide error state and the out-of-memory error, the one error
// that ends the run.
#pragma once

#include <windows.h>

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
