#include "platform/os_version.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// Each version runs the real query in probe.exe, which Wine reports as that
// version through its per-program settings.
TEST(OsVersionTest, NtMajorVersionByWindowsVersion) {
  struct Row {
    const char* version;
    long expected;
  };
  const Row rows[] = {{"win98", 0}, {"winme", 0}, {"nt40", 4}, {"winxp", 5}, {"win7", 6}};
  std::string probe = "\"" + test::ExeFolder() + "\\helpers\\probe.exe\" ntversion";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    test::ScopedWindowsVersion version("probe.exe", row.version);
    EXPECT_EQ(row.expected, test::RunAndWait(probe));
  }
}

}  // namespace
