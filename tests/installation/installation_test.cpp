#include "installation/installation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ProgramFolderTest, ProgramFolderIsThePathUpToItsLastBackslash) {
  struct Row {
    const char* path;
    const char* folder;
  };
  const Row rows[] = {
      {"C:\\Program Files\\Korvik\\uninstall.exe", "C:\\Program Files\\Korvik"},
      {"C:\\uninstall.exe", "C:\\"},
      {"\\\\server\\share\\Korvik\\uninstall.exe", "\\\\server\\share\\Korvik"},
      {"C:\\a-b\\c.d\\uninstall.exe", "C:\\a-b\\c.d"},
      {"C:\\Korvik/sub/uninstall.exe", "C:\\"},  // only the backslash counts
      // In code page 936, 0x81 0x5C is one character that ends in a byte of
      // the backslash's value.
      {"C:\\Korvik\\\x81\x5C.exe", "C:\\Korvik"},
      {"C:\\\x81\x5C\\uninstall.exe", "C:\\\x81\x5C"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    char buffer[128];
    std::memset(buffer, 0xBD, sizeof buffer);
    std::strcpy(buffer, row.path);
    EXPECT_TRUE(CutToProgramFolder(buffer));
    EXPECT_STREQ(row.folder, buffer);
  }
}

TEST(ProgramFolderTest, PathWithoutBackslashHasNoFolder) {
  const char* paths[] = {"uninstall.exe", "C:uninstall.exe", "", "Korvik/uninstall.exe",
                         "\x81\x5C.exe"};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    char buffer[64];
    std::strcpy(buffer, path);
    EXPECT_FALSE(CutToProgramFolder(buffer));
    EXPECT_STREQ(path, buffer);
  }
}

}  // namespace
