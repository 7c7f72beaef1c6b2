#include "platform/shell.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/text.h"
#include "support/test_support.h"

namespace {

constexpr char kTestFolder[] = "C:\\KorvikShellTest";

using test::Exists;

class ShellTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::RemoveTree(kTestFolder));
    ASSERT_TRUE(CreateDirectoryA(kTestFolder, nullptr));
  }
  void TearDown() override { EXPECT_TRUE(test::RemoveTree(kTestFolder)); }

  static std::string InFolder(const std::string& name) {
    return std::string(kTestFolder) + "\\" + name;
  }
};

TEST(GetSpecialFolderPathTest, GivesTheFoldersTheShellNames) {
  const int folders[] = {CSIDL_COMMON_DESKTOPDIRECTORY,
                         CSIDL_DESKTOPDIRECTORY,
                         CSIDL_COMMON_STARTMENU,
                         CSIDL_STARTMENU,
                         CSIDL_PROGRAMS,
                         CSIDL_COMMON_PROGRAMS};
  for (int csidl : folders) {
    SCOPED_TRACE(csidl);
    char expected[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, expected));
    char path[kPathSize];
    std::memset(path, test::kGarbage, sizeof path);
    EXPECT_TRUE(GetSpecialFolderPath(csidl, path, sizeof path));
    EXPECT_STREQ(expected, path);
  }
}

TEST(GetSpecialFolderPathTest, FolderWithoutAPathOrRoomGivesFalseAndEmptyText) {
  struct Row {
    const char* name;
    int csidl;
    std::size_t capacity;
  };
  const Row rows[] = {
      {"virtual folder", CSIDL_DRIVES, kPathSize},
      {"no such folder", 0x7E, kPathSize},
      {"path does not fit", CSIDL_COMMON_PROGRAMS, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    char path[kPathSize + 1];  // one byte beyond the largest capacity
    std::memset(path, test::kGarbage, sizeof path);
    EXPECT_FALSE(GetSpecialFolderPath(row.csidl, path, row.capacity));
    EXPECT_EQ('\0', path[0]);
    EXPECT_EQ(test::kGarbage, path[row.capacity]) << "written past the capacity";
  }
}

TEST_F(ShellTest, CreateFolderMakesOneFolderOnly) {
  EXPECT_TRUE(CreateFolder(InFolder("Korvik").c_str()));
  EXPECT_TRUE(Exists(InFolder("Korvik")));
  EXPECT_FALSE(CreateFolder(InFolder("Korvik").c_str()));
  EXPECT_FALSE(CreateFolder(InFolder("missing\\Korvik").c_str()));
  EXPECT_FALSE(Exists(InFolder("missing")));
}

TEST(IsBelowRootTest, OnlyAbsolutePathsBelowARootQualify) {
  struct Row {
    const char* path;
    bool below;
  };
  const Row rows[] = {
      {"C:\\Programs\\Korvik", true},
      {"C:\\Korvik\\", true},
      {"c:/Korvik", true},
      {"C:\\", false},
      {"C:\\\\", false},
      {"C:", false},
      {"C:Korvik", false},  // relative to the drive's current folder
      {"Korvik", false},    // relative to the current folder
      {"\\Korvik", false},  // on the current drive
      {"", false},
      {"\\\\server", false},
      {"\\\\server\\share", false},
      {"\\\\server\\share\\", false},
      {"\\\\server\\share\\Korvik", true},
      {"\x81:\\Korvik", false},  // a double-byte character, not a drive
      {"C:\\\x81\x5C", true},    // its trail byte is no separator
      {"C:\\\x81\x5C\\", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(row.below, IsBelowRoot(row.path));
  }
}

TEST_F(ShellTest, RemoveFolderTreeRemovesTheFolderWithEverythingInIt) {
  const std::string group = InFolder("Korvik");
  test::MakeFolders(group + "\\sub\\deeper");
  ASSERT_TRUE(test::WriteWholeFile(group + "\\Korvik.lnk", "link"));
  ASSERT_TRUE(test::WriteWholeFile(group + "\\" + test::Acp("用户的文件.txt"), "user"));
  ASSERT_TRUE(test::WriteWholeFile(group + "\\sub\\deeper\\note.txt", "deep"));
  ASSERT_TRUE(test::WriteWholeFile(group + "\\readonly.txt", "ro"));
  SetFileAttributesA((group + "\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(test::WriteWholeFile(InFolder("Korvik.txt"), "beside"));

  EXPECT_TRUE(RemoveFolderTree(group.c_str()));
  EXPECT_FALSE(Exists(group));
  EXPECT_TRUE(Exists(InFolder("Korvik.txt")));
}

// Wine keeps the recycle bin in the freedesktop trash of the Linux home.
class RemoveFolderTreeTrashTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    char home[kPathSize] = {};
    DWORD length = GetEnvironmentVariableA("WINEHOMEDIR", home, sizeof home);
    if (length == 0 || length >= sizeof home) GTEST_SKIP() << "not under Wine";
    std::string path = home;
    if (path.compare(0, 4, "\\??\\") == 0) path.erase(0, 4);
    trashFiles_ = path + "\\.local\\share\\Trash\\files\\" + kGroupName;
    trashInfo_ = path + "\\.local\\share\\Trash\\info\\" + kGroupName + ".trashinfo";
    CleanTrash();
  }
  void TearDown() override {
    CleanTrash();
    ShellTest::TearDown();
  }
  void CleanTrash() {
    if (trashFiles_.empty()) return;
    test::RemoveTree(trashFiles_);
    DeleteFileA(trashInfo_.c_str());
  }

  static constexpr char kGroupName[] = "KorvikShellTestGroup";
  std::string trashFiles_;
  std::string trashInfo_;
};

TEST_F(RemoveFolderTreeTrashTest, FolderDoesNotGoToTheRecycleBin) {
  const std::string group = InFolder(kGroupName);
  ASSERT_TRUE(CreateDirectoryA(group.c_str(), nullptr));
  ASSERT_TRUE(test::WriteWholeFile(group + "\\Korvik.lnk", "link"));
  EXPECT_TRUE(RemoveFolderTree(group.c_str()));
  EXPECT_FALSE(Exists(group));
  EXPECT_FALSE(Exists(trashFiles_));
}

// A group that is a folder link, or holds one, loses the link only: what it
// points at is another's.
TEST_F(ShellTest, RemoveFolderTreeNeverEntersAFolderLink) {
  const std::string outside = InFolder("Outside");
  struct Row {
    const char* name;
    std::string group;
    std::string link;
  };
  const Row rows[] = {
      {"group is a link", InFolder("Korvik"), InFolder("Korvik")},
      {"group holds a link", InFolder("Group"), InFolder("Group\\inner")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::MakeFolders(outside + "\\sub");
    ASSERT_TRUE(test::WriteWholeFile(outside + "\\user.txt", "user"));
    ASSERT_TRUE(test::WriteWholeFile(outside + "\\sub\\deep.txt", "deep"));
    if (row.link != row.group) {
      ASSERT_TRUE(CreateDirectoryA(row.group.c_str(), nullptr));
    }
    ASSERT_TRUE(test::MakeFolderLink(row.link, outside));
    RemoveFolderTree(row.group.c_str());
    EXPECT_EQ("user", test::ReadWholeFile(outside + "\\user.txt"));
    EXPECT_EQ("deep", test::ReadWholeFile(outside + "\\sub\\deep.txt"));
    // Wine removes no link itself (it reaches through), so the link and its
    // group may stay there; on Windows they go.
    test::RemoveFolderLink(row.link);
  }
}

TEST_F(ShellTest, RemoveFolderTreeRefusesWhatItMustNotDelete) {
  const std::string group = InFolder("Korvik");
  ASSERT_TRUE(CreateDirectoryA(group.c_str(), nullptr));
  ASSERT_TRUE(test::WriteWholeFile(group + "\\user.txt", "user"));
  char current[kPathSize] = {};
  GetCurrentDirectoryA(sizeof current, current);
  ASSERT_TRUE(SetCurrentDirectoryA(kTestFolder));

  struct Row {
    const char* name;
    std::string path;
  };
  const Row rows[] = {
      {"missing folder", InFolder("Missing")},
      {"relative path", "Korvik"},
      {"drive-relative path", "C:Korvik"},
      {"empty path", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(RemoveFolderTree(row.path.c_str()));
    EXPECT_TRUE(Exists(group + "\\user.txt"));
  }
  SetCurrentDirectoryA(current);
}

}  // namespace
