#include "uninstall/deletion_passes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

constexpr char kRoot[] = "C:\\KorvikTests\\passes";
constexpr char kFolder[] = "C:\\KorvikTests\\passes\\Korvik";

// An installation folder of the test's own, its list file and the passes
// run over it. Files the test holds (loaded libraries, open handles) are let
// go before the folder is removed.
class DeletionPassesTest : public testing::Test {
 protected:
  void SetUp() override {
    test::RemoveTree(kRoot);
    test::MakeFolders(kFolder);
  }

  void TearDown() override {
    for (HMODULE library : libraries_) FreeLibrary(library);
    for (HANDLE file : openFiles_) CloseHandle(file);
    test::RemoveTree(kRoot);
  }

  static std::string Path(const std::string& relative) {
    return std::string(kFolder) + "\\" + relative;
  }
  static bool Exists(const std::string& relative) {
    return test::Exists(Path(relative));
  }

  static void MakeFile(const std::string& relative, const std::string& contents = "data") {
    std::string path = Path(relative);
    test::MakeFolders(path.substr(0, path.find_last_of('\\')));
    ASSERT_TRUE(test::WriteWholeFile(path, contents)) << relative;
  }
  static void MakeFolder(const std::string& relative) { test::MakeFolders(Path(relative)); }

  // A file that cannot be deleted but can be moved: a library this process
  // has loaded.
  void MakeLoadedLibrary(const std::string& relative) {
    std::string path = Path(relative);
    test::MakeFolders(path.substr(0, path.find_last_of('\\')));
    std::string fixture = test::ExeFolder() + "\\fixtures\\translated\\orvlng.dll";
    ASSERT_TRUE(CopyFileA(fixture.c_str(), path.c_str(), FALSE)) << relative;
    HMODULE library = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, library) << relative;
    libraries_.push_back(library);
  }

  // A file that can be neither deleted nor moved: held open without sharing.
  void MakeLockedFile(const std::string& relative) {
    MakeFile(relative);
    HANDLE file = CreateFileA(Path(relative).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << relative;
    openFiles_.push_back(file);
  }

  // Writes the list file and runs the passes over it, as the program itself
  // does: the list lies in the folder and stays open meanwhile.
  static DeletionOutcome Run(const std::string& list) {
    std::string listPath = Path("Uninstall.lst");
    EXPECT_TRUE(test::WriteWholeFile(listPath, list));
    ByteStream stream;
    EXPECT_TRUE(stream.OpenRead(listPath.c_str()));
    DeletionOutcome outcome =
        RunDeletionPasses(stream, (std::string(kFolder) + "\\").c_str(), Path("uninstall.exe").c_str());
    stream.Close();
    return outcome;
  }

 private:
  std::vector<HMODULE> libraries_;
  std::vector<HANDLE> openFiles_;
};

TEST_F(DeletionPassesTest, ContentsBeforeFolderGoInOnePassAndASecondFindsNothing) {
  MakeFile("a.txt");
  MakeFile("sub\\b.txt");
  MakeFile("unlisted.txt");
  DeletionOutcome outcome = Run("a.txt\nsub\\b.txt\nsub\n");
  EXPECT_EQ(2, outcome.passes);
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_FALSE(Exists("sub"));
  EXPECT_TRUE(Exists("unlisted.txt"));
  EXPECT_TRUE(Exists("Uninstall.lst"));  // removed later by the run
}

TEST_F(DeletionPassesTest, FolderBeforeItsContentsGoesInTheSecondPass) {
  MakeFile("sub\\b.txt");
  DeletionOutcome outcome = Run("sub\nsub\\b.txt\n");
  EXPECT_EQ(3, outcome.passes);
  EXPECT_FALSE(Exists("sub"));
}

TEST_F(DeletionPassesTest, NestedChainListedFromOutsideInNeedsAPassPerLevel) {
  MakeFile("a\\b\\c\\file.txt");
  MakeFile("a\\b\\other.txt");
  DeletionOutcome outcome = Run("a\na\\b\na\\b\\c\na\\b\\c\\file.txt\na\\b\\other.txt\n");
  // Files; then c; then b; then a; then nothing.
  EXPECT_EQ(5, outcome.passes);
  EXPECT_FALSE(Exists("a"));
  EXPECT_EQ(5, outcome.removed);
}

TEST_F(DeletionPassesTest, EntryRemovedByAPassIsNotLookedAtAgain) {
  MakeFile("a\\b\\c\\file.txt");
  MakeFile("a\\b\\other.txt");
  MakeFile("kept\\user file.txt");
  DeletionOutcome outcome =
      Run("a\na\\b\na\\b\\c\na\\b\\c\\file.txt\na\\b\\other.txt\nkept\nmissing.txt\n");
  EXPECT_EQ(5, outcome.passes);
  EXPECT_EQ(5, outcome.removed);
  // A pass looks only at what no earlier pass removed: all seven lines,
  // then a, a\b, a\b\c, kept and missing.txt, then one fewer each time.
  EXPECT_EQ(7 + 5 + 4 + 3 + 2, outcome.tried);
  EXPECT_FALSE(Exists("a"));
  EXPECT_TRUE(Exists("kept\\user file.txt"));
}

TEST_F(DeletionPassesTest, FileMovedOntoARemovedEntryIsLookedAtAgain) {
  // The first line's file goes in the first pass, and then the library in
  // use is moved to that very name: the second pass finds it there, as it
  // would if no entry were skipped, and moves it on.
  test::ScopedPendingRenames pending;
  MakeFile("x.dll.0.tmp", "an earlier uninstall's");
  MakeLoadedLibrary("x.dll");
  DeletionOutcome outcome = Run("x.dll.0.tmp\nx.dll\n");
  EXPECT_EQ(2, outcome.passes);
  EXPECT_EQ(1, outcome.removed);
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_FALSE(Exists("x.dll"));
  EXPECT_FALSE(Exists("x.dll.0.tmp"));
  EXPECT_TRUE(Exists("x.dll.0.tmp.0.tmp"));
  EXPECT_EQ((std::vector<std::string>{Path("x.dll.0.tmp"), Path("x.dll.0.tmp.0.tmp")}),
            pending.AddedDeletions());
}

TEST_F(DeletionPassesTest, LineEndsBlanksAndEmptyLinesDoNotChangeTheResult) {
  struct Row {
    const char* name;
    const char* list;
  };
  const Row rows[] = {
      {"LF", "x.txt\nsub\\y.txt\nsub\n"},
      {"CR LF, trailing blanks and tabs, empty lines",
       "\r\nx.txt \t\r\n\r\n   \r\nsub\\y.txt\r\nsub\t\r\n\r\n"},
      {"no line end after the last entry", "x.txt\nsub\\y.txt\nsub"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MakeFile("x.txt");
    MakeFile("sub\\y.txt");
    MakeFile(" x.txt");  // blanks at the start belong to the entry
    DeletionOutcome outcome = Run(row.list);
    EXPECT_EQ(2, outcome.passes);
    EXPECT_FALSE(Exists("x.txt"));
    EXPECT_FALSE(Exists("sub"));
    EXPECT_TRUE(Exists(" x.txt"));
  }
}

TEST_F(DeletionPassesTest, LeadingBlanksArePartOfTheEntry) {
  MakeFile(" x.txt");
  MakeFile("x.txt");
  Run(" x.txt\n");
  EXPECT_FALSE(Exists(" x.txt"));
  EXPECT_TRUE(Exists("x.txt"));
}

TEST_F(DeletionPassesTest, ReadOnlyHiddenAndSystemFilesAreDeleted) {
  struct Row {
    const char* name;
    DWORD attributes;
  };
  const Row rows[] = {
      {"readonly.txt", FILE_ATTRIBUTE_READONLY},
      {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
      {"system.txt", FILE_ATTRIBUTE_SYSTEM},
      {"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
  };
  std::string list;
  for (const Row& row : rows) {
    MakeFile(row.name);
    ASSERT_TRUE(SetFileAttributesA(Path(row.name).c_str(), row.attributes));
    list += std::string(row.name) + "\n";
  }
  MakeFolder("ro");
  ASSERT_TRUE(SetFileAttributesA(Path("ro").c_str(), FILE_ATTRIBUTE_READONLY));
  list += "ro\n";
  DeletionOutcome outcome = Run(list);
  EXPECT_EQ(2, outcome.passes);
  for (const Row& row : rows) EXPECT_FALSE(Exists(row.name)) << row.name;
  EXPECT_FALSE(Exists("ro"));
}

TEST_F(DeletionPassesTest, MissingEntriesAreSkippedAndEndTheFirstPass) {
  MakeFile("kept.txt");
  DeletionOutcome outcome = Run("gone.txt\nno\\such\\folder\n..\\..\\nothing here\n");
  EXPECT_EQ(1, outcome.passes);
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("kept.txt"));
}

TEST_F(DeletionPassesTest, FolderThatNeverEmptiesStays) {
  MakeFile("data\\user file.txt");
  MakeFile("data\\listed.txt");
  DeletionOutcome outcome = Run("data\ndata\\listed.txt\n");
  EXPECT_EQ(2, outcome.passes);
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("data\\user file.txt"));
  EXPECT_FALSE(Exists("data\\listed.txt"));
}

TEST_F(DeletionPassesTest, LineThatCannotBeTakenWholeIsSkippedNotCut) {
  struct Row {
    const char* name;
    std::string line;  // would name keep.txt if it were cut
  };
  const Row rows[] = {
      {"too long: the piece after the buffer's end",
       std::string(kListLineSize - 1, 'n') + "keep.txt"},
      {"too long, with CR LF", std::string(kListLineSize - 1, 'n') + "keep.txt\r"},
      {"a zero byte: the text before it", std::string("keep.txt\0junk", 13)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MakeFile("keep.txt");
    MakeFile("after.txt");
    DeletionOutcome outcome = Run(row.line + "\nafter.txt\n");
    EXPECT_EQ(2, outcome.passes);
    EXPECT_EQ(1, outcome.tried);
    EXPECT_TRUE(Exists("keep.txt"));
    EXPECT_FALSE(Exists("after.txt"));
  }
}

TEST_F(DeletionPassesTest, EntryThatDoesNotFitAPathWithTheFolderIsNotLookedAt) {
  // The folder with its backslash, and an entry that just fits beside it
  // or is one byte too long; neither exists.
  const std::size_t room = kPathSize - 1 - (std::strlen(kFolder) + 1);
  struct Row {
    std::size_t length;
    long tried;  // after.txt once; the fitting entry in both passes
  };
  const Row rows[] = {{room, 3}, {room + 1, 1}, {kListLineSize - 2, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    MakeFile("after.txt");
    DeletionOutcome outcome = Run(std::string(row.length, 'p') + "\nafter.txt\n");
    EXPECT_EQ(2, outcome.passes);
    EXPECT_EQ(row.tried, outcome.tried);
    EXPECT_FALSE(Exists("after.txt"));
  }
}

TEST_F(DeletionPassesTest, FileInUseIsMovedToAFreeTemporaryNameAndDeletedAtRestart) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("x.dll");
  MakeLoadedLibrary("sub\\y.dll");
  MakeFile("sub\\y.dll.0.tmp", "an earlier uninstall's");
  DeletionOutcome outcome = Run("x.dll\nsub\\y.dll\n");
  EXPECT_EQ(1, outcome.passes);  // moves are no successes
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_FALSE(Exists("x.dll"));
  EXPECT_TRUE(Exists("x.dll.0.tmp"));
  EXPECT_FALSE(Exists("sub\\y.dll"));
  EXPECT_TRUE(Exists("sub\\y.dll.1.tmp"));
  EXPECT_EQ("an earlier uninstall's", test::ReadWholeFile(Path("sub\\y.dll.0.tmp")));
  EXPECT_EQ((std::vector<std::string>{Path("x.dll.0.tmp"), Path("sub\\y.dll.1.tmp")}),
            pending.AddedDeletions());
}

TEST_F(DeletionPassesTest, FileThatCannotBeMovedIsDeletedAtRestartUnderItsOwnName) {
  test::ScopedPendingRenames pending;
  MakeLockedFile("locked.dat");
  MakeFile("other.txt");
  DeletionOutcome outcome = Run("locked.dat\nother.txt\n");
  EXPECT_EQ(2, outcome.passes);
  EXPECT_TRUE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("locked.dat"));
  EXPECT_FALSE(Exists("locked.dat.0.tmp"));
  EXPECT_FALSE(Exists("other.txt"));
  EXPECT_EQ((std::vector<std::string>{Path("locked.dat"), Path("locked.dat")}),
            pending.AddedDeletions());  // once per pass
}

TEST_F(DeletionPassesTest, WithAllThousandTemporaryNamesTakenTheFileStaysAndNeedsARestart) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("x.dll");
  for (int i = 0; i < kTemporaryNameCount; ++i) {
    MakeFile("x.dll." + std::to_string(i) + ".tmp", "taken");
  }
  DeletionOutcome outcome = Run("x.dll\n");
  EXPECT_EQ(1, outcome.passes);
  EXPECT_TRUE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("x.dll"));
  EXPECT_EQ("taken", test::ReadWholeFile(Path("x.dll.999.tmp")));
  EXPECT_EQ(std::vector<std::string>{Path("x.dll")}, pending.AddedDeletions());
}

TEST_F(DeletionPassesTest, ProgramFileAndListFileAreNeverMovedOrScheduled) {
  test::ScopedPendingRenames pending;
  // Loaded, so that they could be moved if the passes tried.
  const char* names[] = {"UNINSTALL.EXE", "sub\\Uninstall.exe", "other\\uninstall.LST"};
  std::string list = "Uninstall.lst\n";
  for (const char* name : names) {
    MakeLoadedLibrary(name);
    list += std::string(name) + "\n";
  }
  DeletionOutcome outcome = Run(list);
  EXPECT_EQ(1, outcome.passes);
  EXPECT_FALSE(outcome.restartNeeded);
  for (const char* name : names) {
    EXPECT_TRUE(Exists(name)) << name;
    EXPECT_FALSE(Exists(std::string(name) + ".0.tmp")) << name;
  }
  EXPECT_TRUE(Exists("Uninstall.lst"));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

TEST_F(DeletionPassesTest, EntriesReachingOutsideTheFolderAreNeverTouched) {
  // Beside the installation folder, and at the root of the drive.
  const std::string beside = std::string(kRoot) + "\\victim.txt";
  const std::string besideFolder = std::string(kRoot) + "\\Other";
  const std::string atRoot = "C:\\KorvikPassesVictim.txt";
  DeleteFileA(atRoot.c_str());
  ASSERT_TRUE(test::WriteWholeFile(beside, "victim"));
  test::MakeFolders(besideFolder);
  ASSERT_TRUE(test::WriteWholeFile(besideFolder + "\\x.txt", "victim"));
  ASSERT_TRUE(test::WriteWholeFile(atRoot, "victim"));
  // Inside: what the entries rooted at the drive would name if they were
  // taken as relative ones, and a file that an entry with ".." names.
  MakeFile("KorvikTests\\passes\\victim.txt");
  MakeFile("KorvikPassesVictim.txt");
  MakeFile("inside.txt");
  MakeFile("Docs\\readme.txt");
  MakeFile("listed.txt");
  const char* entries[] = {
      "..\\victim.txt",
      "..\\Other\\x.txt",
      "..\\Other",
      "..",
      "../victim.txt",
      "..\\..\\..\\KorvikPassesVictim.txt",
      "Docs\\..\\..\\victim.txt",
      "Docs/../../victim.txt",
      "Docs\\..\\inside.txt",
      "Docs\\readme.txt\\..\\..\\inside.txt",
      "...\\victim.txt",
      ".. \\victim.txt",
      "C:\\KorvikTests\\passes\\victim.txt",
      "C:\\KorvikPassesVictim.txt",
      "C:..\\victim.txt",
      "c:KorvikPassesVictim.txt",
      "\\KorvikTests\\passes\\victim.txt",
      "/KorvikTests/passes/victim.txt",
      "\\KorvikPassesVictim.txt",
      "\\\\?\\C:\\KorvikTests\\passes\\victim.txt",
      "\\\\.\\C:\\KorvikPassesVictim.txt",
      "\\\\localhost\\C$\\KorvikPassesVictim.txt",
  };
  std::string list;
  for (const char* entry : entries) list += std::string(entry) + "\r\n";
  list += "listed.txt\r\n";
  DeletionOutcome outcome = Run(list);
  EXPECT_EQ(2, outcome.passes);
  EXPECT_EQ(1, outcome.tried);  // listed.txt alone was looked at
  EXPECT_FALSE(Exists("listed.txt"));
  EXPECT_EQ("victim", test::ReadWholeFile(beside));
  EXPECT_EQ("victim", test::ReadWholeFile(besideFolder + "\\x.txt"));
  EXPECT_EQ("victim", test::ReadWholeFile(atRoot));
  for (const char* inside : {"KorvikTests\\passes\\victim.txt", "KorvikPassesVictim.txt",
                             "inside.txt", "Docs\\readme.txt"}) {
    EXPECT_TRUE(Exists(inside)) << inside;
  }
  EXPECT_TRUE(DeleteFileA(atRoot.c_str()));
}

TEST(EntryStaysInFolderTest, EntriesThatCouldLeaveTheFolderAreRefused) {
  struct Row {
    const char* entry;
    bool staysIn;
  };
  const Row rows[] = {
      {"Korvik.exe", true},
      {"Docs\\Order\\order.htm", true},
      {"Docs/Order/order.htm", true},
      {" leading blank.txt", true},
      {"name..txt", true},
      {"..name", true},
      {"name..", true},
      {".hidden", true},
      {"a\\.\\b", true},
      {"a\\\\b", true},
      {"a\\", true},
      {"C:\\Windows\\win.ini", false},
      {"c:win.ini", false},
      {"C:..\\x", false},
      {"C:", false},
      {"Docs\\C:\\x", false},
      {"file.txt:stream", false},
      {"\\\\server\\share\\x", false},
      {"\\\\?\\C:\\x", false},
      {"\\\\.\\C:", false},
      {"\\x", false},
      {"/x", false},
      {"\\", false},
      {"..", false},
      {"..\\x", false},
      {"../x", false},
      {"a\\..\\..\\x", false},
      {"a/../b", false},
      {"a\\..\\b", false},
      {"a\\..", false},
      {"a/..", false},
      {"...", false},
      {"a\\...\\x", false},
      {".. ", false},
      {" ..\\x", false},
      {". .\\x", false},
      // Code page 936: 0x81 0x5C is one character whose trail byte has the
      // value of a backslash, so ".." after it is no component of its own.
      {"\x81\x5C..\\x", true},
      {"\x81\x5C\\..\\x", false},
      {"\x81\x5C/..", false},
      {"Docs\\\x81\x5C..", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    EXPECT_EQ(row.staysIn, EntryStaysInFolder(row.entry));
  }
}

TEST(FindTemporaryNameTest, TakesTheFirstFreeNameOrTheLastOne) {
  const std::string folder = std::string(kRoot) + "-names";
  test::RemoveTree(folder);
  test::MakeFolders(folder);
  const std::string path = folder + "\\f.dll";
  struct Row {
    int taken;  // names 0 .. taken-1 exist
    const char* expected;
  };
  const Row rows[] = {{0, "f.dll.0.tmp"}, {1, "f.dll.1.tmp"}, {7, "f.dll.7.tmp"},
                      {kTemporaryNameCount, "f.dll.999.tmp"}};
  int made = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.taken);
    for (; made < row.taken; ++made) {
      ASSERT_TRUE(test::WriteWholeFile(path + "." + std::to_string(made) + ".tmp", ""));
    }
    char name[kPathSize];
    std::memset(name, 0xBD, sizeof name);
    ASSERT_TRUE(FindTemporaryName(path.c_str(), name, sizeof name));
    EXPECT_EQ(folder + "\\" + row.expected, name);
  }
  test::RemoveTree(folder);
}

TEST(FindTemporaryNameTest, NameThatDoesNotFitIsRefused) {
  const char path[] = "C:\\KorvikTests\\no such folder\\f.dll";
  char name[sizeof path + 5];  // ".0.tmp" needs six more
  std::memset(name, 0xBD, sizeof name);
  EXPECT_FALSE(FindTemporaryName(path, name, sizeof name));
  char exact[sizeof path + 6];
  EXPECT_TRUE(FindTemporaryName(path, exact, sizeof exact));
  EXPECT_EQ(std::string(path) + ".0.tmp", exact);
}

}  // namespace
