// The out-of-memory error: recorded, reported and the end of the run.
#include "platform/memory_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

void ReportToStderr(int code) {
  std::fprintf(stderr, "reported %d, error %d, count %d\n", code, errorState.code,
               errorState.count);
}

TEST(MemoryErrorTest, RecordsErrorEightReportsItAndEndsTheRun) {
  std::string expected = "reported 8, error 8, count " + std::to_string(errorState.count + 1);
  EXPECT_EXIT(
      {
        SetMemoryErrorReport(ReportToStderr);
        RaiseMemoryError();
      },
      testing::ExitedWithCode(0), expected);
}

}  // namespace
