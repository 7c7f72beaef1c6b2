#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

// The tests run in code page 936, where 0x81 0x5C is one character ("乗")
// whose trail byte has the value of a backslash.
const char kTrailBackslash[] = "\x81\x5C";

TEST(PathsTest, SamplePathsGiveTheirNamePartFolderAndBackslash) {
  struct Row {
    const char* input;
    const char* namePart;
    const char* withBackslash;
    const char* folder;
  };
  const Row rows[] = {
      {"C:\\dir\\file.txt", "file.txt", "C:\\dir\\file.txt\\", "C:\\dir"},
      {"C:\\file", "file", "C:\\file\\", "C:\\"},
      {"C:\\", "", "C:\\", "C:\\"},
      {"C:file", "file", "C:file\\", "C:"},
      {"dir/file", "file", "dir/file\\", "dir"},
      {"dir/", "", "dir/\\", "dir"},
      {"dir\\", "", "dir\\", "dir"},
      {"\\file", "file", "\\file\\", "\\"},
      {"file", "file", "file\\", ""},
      {"", "", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    char buffer[64];
    std::memset(buffer, 0xBD, sizeof buffer);
    std::strcpy(buffer, row.input);

    const char* name = FileNamePart(buffer);
    EXPECT_STREQ(row.namePart, name);
    EXPECT_EQ(buffer + std::strlen(row.input) - std::strlen(row.namePart), name);

    AppendBackslash(buffer);
    EXPECT_STREQ(row.withBackslash, buffer);

    std::strcpy(buffer, row.input);
    CutFileName(buffer);
    EXPECT_STREQ(row.folder, buffer);
  }
}

TEST(PathsTest, TrailByteWithBackslashValueIsNoSeparator) {
  std::string path = std::string("C:\\a\\") + kTrailBackslash + "b";
  EXPECT_STREQ((std::string(kTrailBackslash) + "b").c_str(), FileNamePart(path.c_str()));

  std::string endsInChar = std::string("C:\\dir\\") + kTrailBackslash;
  EXPECT_EQ(endsInChar.c_str() + endsInChar.size() - 2, LastChar(endsInChar.c_str()));
  EXPECT_STREQ(kTrailBackslash, FileNamePart(endsInChar.c_str()));

  char buffer[32];
  std::strcpy(buffer, endsInChar.c_str());
  AppendBackslash(buffer);
  EXPECT_EQ(endsInChar + "\\", buffer);

  // A lone lead byte before the terminator is a character of its own.
  const char cut[] = "ab\x81";
  EXPECT_EQ(cut + 2, LastChar(cut));
  EXPECT_EQ(cut + 3, NextChar(cut + 2));
}

TEST(PathsTest, DriveLetterOnlyWhenItIsASingleByteCharacter) {
  // "\x81:" is one double-byte character, not a drive letter and a colon.
  const char notDrive[] = "\x81:name";
  EXPECT_EQ(notDrive, FileNamePart(notDrive));
  const char drive[] = "D:name";
  EXPECT_EQ(drive + 2, FileNamePart(drive));
}

TEST(PathsTest, LastCharOfEmptyTextIsItsStart) {
  const char empty[] = "";
  EXPECT_EQ(empty, LastChar(empty));
  const char one[] = "x";
  EXPECT_EQ(one, LastChar(one));
}

TEST(PathsTest, TrimLineEndRemovesTheTrailingRunOnly) {
  struct Row {
    const char* input;
    const char* expected;
  };
  const Row rows[] = {
      {"entry \t\r\n", "entry"}, {"   ", ""}, {"  lead", "  lead"},
      {"a b\r\n\r\n", "a b"},    {"", ""},    {"x\t \r", "x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    char buffer[32];
    std::strcpy(buffer, row.input);
    EXPECT_EQ(buffer, TrimLineEnd(buffer));
    EXPECT_STREQ(row.expected, buffer);
  }
}

TEST(PathsTest, CompareNamesIgnoresCase) {
  EXPECT_EQ(0, CompareNames("Uninstall.lst", "UNINSTALL.LST"));
  EXPECT_EQ(0, CompareNames("uninstall.exe", "Uninstall.Exe"));
  EXPECT_LT(CompareNames("a.txt", "b.txt"), 0);
  EXPECT_GT(CompareNames("b.txt", "a.txt"), 0);
  EXPECT_NE(0, CompareNames("Uninstall.lst", "Uninstall.ls"));
}

TEST(PathsTest, PlainFileNamesNameNothingButAFileInTheFolder) {
  struct Row {
    std::string name;
    bool plain;
  };
  const Row rows[] = {
      {"Korvik help", true},
      {std::string("Help ") + kTrailBackslash, true},  // a trail byte is no separator
      {"v1.2 notes.", true},
      {"CONSOLE", true},
      {"COM0", true},
      {"", false},
      {"..\\Evil", false},
      {"a/b", false},
      {"C:Evil", false},
      {"Help:stream", false},
      {"Help?", false},
      {"Tab\there", false},
      {"NUL", false},
      {"con.txt", false},
      {"Aux  .x", false},
      {"com7", false},
      {"LPT1", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.plain, IsPlainFileName(row.name.c_str()));
  }
}

TEST(PathsTest, PathExistsForFilesAndFolders) {
  std::string folder = test::ExeFolder();
  char exe[MAX_PATH * 4];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  EXPECT_TRUE(PathExists(folder.c_str()));
  EXPECT_TRUE(PathExists(exe));
  EXPECT_FALSE(PathExists((folder + "\\no such file.txt").c_str()));
}

}  // namespace
