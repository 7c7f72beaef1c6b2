#include "platform/file_system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/folder_handles.h"
#include "platform/module.h"
#include "support/test_support.h"

namespace {

constexpr char kFolder[] = "C:\\KorvikTests\\file_system";

class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    test::RemoveTree(kFolder);
    test::MakeFolders(kFolder);
  }
  void TearDown() override { test::RemoveTree(kFolder); }

  static std::string Path(const std::string& name) { return std::string(kFolder) + "\\" + name; }
};

// The lines of the profile section name, in order, as the file holds them.
std::vector<std::string> SectionLines(const std::string& text, const std::string& name) {
  std::vector<std::string> lines;
  bool inside = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    if (!line.empty() && line[0] == '[') {
      inside = _stricmp(line.c_str(), ("[" + name + "]").c_str()) == 0;
    } else if (inside && !line.empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

std::string ShortPath(const std::string& path) {
  char shortPath[MAX_PATH * 4];
  DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
  return length > 0 && length < sizeof shortPath ? std::string(shortPath, length) : path;
}

TEST(FileSystemPathsTest, ProgramPathIsTheRunningProgramsAndNeverCut) {
  char expected[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, expected, sizeof expected);
  ASSERT_GT(length, 0u);

  char path[1024];
  std::memset(path, 0xBD, sizeof path);
  ASSERT_TRUE(GetProgramPath(path, sizeof path));
  EXPECT_STREQ(expected, path);

  char small[8];
  std::memset(small, 0xBD, sizeof small);
  EXPECT_FALSE(GetProgramPath(small, sizeof small));
  EXPECT_STREQ("", small);
}

TEST(FileSystemPathsTest, TemporaryFolderEndsWithABackslashAndIsNeverCut) {
  char folder[1024];
  std::memset(folder, 0xBD, sizeof folder);
  ASSERT_TRUE(GetTemporaryFolder(folder, sizeof folder));
  std::string text = folder;
  ASSERT_FALSE(text.empty());
  EXPECT_EQ('\\', text.back());
  EXPECT_TRUE(IsFolder(FileAttributes(folder)));

  char small[4];
  std::memset(small, 0xBD, sizeof small);
  EXPECT_FALSE(GetTemporaryFolder(small, sizeof small));
  EXPECT_STREQ("", small);
}

TEST_F(FileSystemTest, AttributesTellFilesFoldersAndNothing) {
  ASSERT_TRUE(test::WriteWholeFile(Path("f.txt"), "x"));
  EXPECT_FALSE(IsFolder(FileAttributes(Path("f.txt").c_str())));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, FileAttributes(Path("f.txt").c_str()));
  EXPECT_TRUE(IsFolder(FileAttributes(kFolder)));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, FileAttributes(Path("none").c_str()));
  EXPECT_FALSE(IsFolder(INVALID_FILE_ATTRIBUTES));
}

TEST(ReparseTagTest, OnlyNameSurrogatesAreLinks) {
  struct Row {
    const char* name;
    unsigned long tag;
    bool link;
  };
  const Row rows[] = {
      {"symbolic link", 0xA000000C, true},        {"junction", 0xA0000003, true},
      {"WSL symbolic link", 0xA000001D, true},    {"no tag", 0, true},
      {"deduplicated file", 0x80000013, false},   {"cloud placeholder", 0x9000001A, false},
      {"storage tier (HSM)", 0xC0000004, false},  {"compressed (WOF)", 0x80000017, false},
      {"app execution alias", 0x8000001B, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.link, ReparseTagIsLink(row.tag));
  }
}

TEST_F(FileSystemTest, FolderLinkKeepsItsReparseBitAndIsALink) {
  // Wine shows a Unix symbolic link as a reparse point whose tag cannot be
  // read: it stays a link.
  test::MakeFolders(Path("target"));
  ASSERT_TRUE(test::MakeFolderLink(Path("link"), Path("target")));
  DWORD attributes = FileAttributes(Path("link").c_str());
  EXPECT_TRUE(IsFolder(attributes));
  EXPECT_TRUE(IsLink(attributes));
  EXPECT_FALSE(IsLink(FileAttributes(Path("target").c_str())));
  EXPECT_TRUE(test::RemoveFolderLink(Path("link")));
}

TEST_F(FileSystemTest, ClearedAttributesLetAReadOnlyFileBeDeleted) {
  std::string file = Path("ro.txt");
  ASSERT_TRUE(test::WriteWholeFile(file, "x"));
  ASSERT_TRUE(SetFileAttributesA(
      file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(DeleteOneFile(file.c_str()));
  ClearFileAttributes(file.c_str());
  EXPECT_EQ(0u, FileAttributes(file.c_str()) &
                    (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_TRUE(DeleteOneFile(file.c_str()));
  EXPECT_FALSE(DeleteOneFile(file.c_str()));
}

TEST_F(FileSystemTest, OnlyAnEmptyFolderIsRemoved) {
  test::MakeFolders(Path("full"));
  ASSERT_TRUE(test::WriteWholeFile(Path("full\\f.txt"), "x"));
  EXPECT_FALSE(RemoveEmptyFolder(Path("full").c_str()));
  EXPECT_TRUE(IsFolder(FileAttributes(Path("full").c_str())));
  ASSERT_TRUE(DeleteOneFile(Path("full\\f.txt").c_str()));
  EXPECT_TRUE(RemoveEmptyFolder(Path("full").c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, FileAttributes(Path("full").c_str()));
}

TEST_F(FileSystemTest, MoveNeverReplacesAFile) {
  ASSERT_TRUE(test::WriteWholeFile(Path("a"), "a"));
  ASSERT_TRUE(test::WriteWholeFile(Path("b"), "b"));
  EXPECT_FALSE(MoveOneFile(Path("a").c_str(), Path("b").c_str()));
  EXPECT_EQ("b", test::ReadWholeFile(Path("b")));
  EXPECT_TRUE(MoveOneFile(Path("a").c_str(), Path("c").c_str()));
  EXPECT_EQ("a", test::ReadWholeFile(Path("c")));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, FileAttributes(Path("a").c_str()));
}

TEST_F(FileSystemTest, RestartDeletionsKeepEveryEarlierLine) {
  std::string ini = Path("wininit.ini");
  ASSERT_TRUE(test::WriteWholeFile(ini,
                                   "[Other]\r\nkey=value\r\n"
                                   "[rename]\r\nNUL=C:\\OLD.TXT\r\nC:\\NEW.TXT=C:\\FROM.TXT\r\n"));
  AddRestartDeletion(ini.c_str(), "C:\\KORVIK\\A.DLL");
  AddRestartDeletion(ini.c_str(), "C:\\KORVIK\\B.DLL");
  AddRestartDeletion(ini.c_str(), "C:\\KORVIK\\A.DLL");
  std::string text = test::ReadWholeFile(ini);
  EXPECT_EQ((std::vector<std::string>{"NUL=C:\\OLD.TXT", "C:\\NEW.TXT=C:\\FROM.TXT",
                                      "NUL=C:\\KORVIK\\A.DLL", "NUL=C:\\KORVIK\\B.DLL",
                                      "NUL=C:\\KORVIK\\A.DLL"}),
            SectionLines(text, "Rename"))
      << text;
  EXPECT_EQ(std::vector<std::string>{"key=value"}, SectionLines(text, "Other")) << text;
}

TEST_F(FileSystemTest, RestartDeletionCreatesTheFileAndItsSection) {
  std::string ini = Path("new.ini");
  AddRestartDeletion(ini.c_str(), "C:\\X.DLL");
  EXPECT_EQ(std::vector<std::string>{"NUL=C:\\X.DLL"},
            SectionLines(test::ReadWholeFile(ini), "Rename"));
}

TEST_F(FileSystemTest, RestartDeletionInAFullSectionReplacesItsDeletionLine) {
  // A section that fills the profile buffer: the line is written the plain
  // way, which keeps one "NUL" line.
  std::string ini = Path("full.ini");
  std::string text = "[Rename]\r\nNUL=C:\\OLD.TXT\r\n";
  for (int i = 0; text.size() < 40000; ++i) {
    text += "C:\\TARGET" + std::to_string(i) + ".TXT=C:\\SOURCE" + std::to_string(i) + ".TXT\r\n";
  }
  ASSERT_TRUE(test::WriteWholeFile(ini, text));
  AddRestartDeletion(ini.c_str(), "C:\\NEW.DLL");
  std::vector<std::string> lines = SectionLines(test::ReadWholeFile(ini), "Rename");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("NUL=C:\\NEW.DLL", lines[0]);
  EXPECT_EQ(0, std::count(lines.begin(), lines.end(), std::string("NUL=C:\\OLD.TXT")));
}

TEST_F(FileSystemTest, NtFamilyRecordsTheDeletionForTheNextStart) {
  test::ScopedPendingRenames pending;
  std::string file = Path("in use.dll");
  ASSERT_TRUE(test::WriteWholeFile(file, "x"));
  DeleteAtRestart(file.c_str());
  EXPECT_EQ(std::vector<std::string>{file}, pending.AddedDeletions());
  EXPECT_EQ("x", test::ReadWholeFile(file));
}

TEST_F(FileSystemTest, NineXFamilyWritesShortPathsToWininit) {
  test::ScopedNoWininit wininit;
  test::ScopedPendingRenames pending;
  test::ScopedWindowsVersion version("probe.exe", "win98");

  std::string first = Path("long file name.dll");
  std::string second = Path("another long name.dat");
  ASSERT_TRUE(test::WriteWholeFile(first, "x"));
  ASSERT_TRUE(test::WriteWholeFile(second, "y"));
  std::string probe = "\"" + test::ExeFolder() + "\\helpers\\probe.exe\" deleteatrestart";
  ASSERT_EQ(0, test::RunAndWait(probe + " \"" + first + "\" \"" + second + "\""));

  EXPECT_EQ((std::vector<std::string>{"NUL=" + ShortPath(first), "NUL=" + ShortPath(second)}),
            SectionLines(test::ReadWholeFile(wininit.Path()), "Rename"));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

TEST_F(FileSystemTest, NineXFamilyTakesTheLongPathWhenThereIsNoShortOne) {
  test::ScopedNoWininit wininit;
  test::ScopedWindowsVersion version("probe.exe", "win98");

  std::string missing = Path("no such file.dll");
  std::string probe = "\"" + test::ExeFolder() + "\\helpers\\probe.exe\" deleteatrestart";
  ASSERT_EQ(0, test::RunAndWait(probe + " \"" + missing + "\""));
  EXPECT_EQ(std::vector<std::string>{"NUL=" + missing},
            SectionLines(test::ReadWholeFile(wininit.Path()), "Rename"));
}

}  // namespace
