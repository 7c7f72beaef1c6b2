#include "platform/memory_error.h"

#include <cstdlib>

namespace {

MemoryErrorReport memoryErrorReport = nullptr;

}  // namespace

void SetMemoryErrorReport(MemoryErrorReport report) { memoryErrorReport = report; }

void RaiseMemoryError() {
  errorState.code = kOutOfMemoryError;
  ++errorState.count;
  if (memoryErrorReport) memoryErrorReport(kOutOfMemoryError);
  std::exit(0);
}
