#include "uninstall/deletion_passes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "installation/installation.h"
#include "platform/file_system.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

constexpr char kRoot[] = "C:\\KorvikTests\\passes";
constexpr char kFolder[] = "C:\\KorvikTests\\passes\\Korvik";
constexpr char kLateFile[] = "late.txt";

// Another process's file, made just before a chosen look of the passes at
// a line that every pass looks at.
struct LateFile {
  std::size_t line;
  int look;  // from 1
  std::string path;
  int looks = 0;
  bool made = false;
};

void MakeLateFile(std::size_t line, void* context) {
  auto* late = static_cast<LateFile*>(context);
  if (line != late->line || ++late->looks != late->look) return;
  late->made = test::WriteWholeFile(late->path, "late");
}

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
    SetBeforeEntryHookForTest(nullptr, nullptr);
    ReleaseHeldFiles();
    test::RemoveTree(kRoot);
  }

  void ReleaseHeldFiles() {
    for (HMODULE library : libraries_) FreeLibrary(library);
    for (HANDLE file : openFiles_) CloseHandle(file);
    libraries_.clear();
    openFiles_.clear();
  }

  static std::string Path(const std::string& relative) {
    return std::string(kFolder) + "\\" + relative;
  }
  static bool Exists(const std::string& relative) { return test::Exists(Path(relative)); }

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
    DeletionOutcome outcome = RunDeletionPasses(stream, (std::string(kFolder) + "\\").c_str(),
                                                Path("uninstall.exe").c_str());
    stream.Close();
    return outcome;
  }

  // Runs the passes over body (whole lines) between a first line naming
  // late.txt and a last one naming a file that is never there, which every
  // pass looks at. Just before look number `look` at that last line, another
  // process makes late.txt: that pass has gone past its line, so only a
  // further pass removes it. It stays when pass number `look` is the last.
  static DeletionOutcome RunWithLateFile(const std::string& body, int look) {
    const std::string list = std::string(kLateFile) + "\n" + body + "never there.txt\n";
    const auto lastLine = static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n') - 1);
    LateFile late{lastLine, look, Path(kLateFile)};
    SetBeforeEntryHookForTest(MakeLateFile, &late);
    DeletionOutcome outcome = Run(list);
    SetBeforeEntryHookForTest(nullptr, nullptr);
    EXPECT_TRUE(late.made) << "the run ended before pass " << look;
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
  DeletionOutcome outcome = RunWithLateFile("a.txt\nsub\\b.txt\nsub\n", 2);
  EXPECT_TRUE(Exists(kLateFile));  // no third pass
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_FALSE(Exists("sub"));
  EXPECT_TRUE(Exists("unlisted.txt"));
  EXPECT_TRUE(Exists("Uninstall.lst"));  // removed later by the run
}

TEST_F(DeletionPassesTest, FolderBeforeItsContentsGoesAtTheEndOfTheFirstPass) {
  MakeFile("sub\\b.txt");
  RunWithLateFile("sub\nsub\\b.txt\n", 2);
  EXPECT_FALSE(Exists("sub"));
  EXPECT_TRUE(Exists(kLateFile));  // no third pass
}

TEST_F(DeletionPassesTest, NestedChainListedFromOutsideInGoesInTheFirstPass) {
  MakeFile("a\\b\\c\\file.txt");
  MakeFile("a\\b\\other.txt");
  DeletionOutcome outcome =
      RunWithLateFile("a\na\\b\na\\b\\c\na\\b\\c\\file.txt\na\\b\\other.txt\n", 2);
  // Files, then c, b and a at the end of the pass, the last listed first;
  // then nothing.
  EXPECT_TRUE(Exists(kLateFile));  // no third pass
  EXPECT_FALSE(Exists("a"));
  EXPECT_EQ(5, outcome.removed);
}

TEST_F(DeletionPassesTest, EntryRemovedByAPassIsNotLookedAtAgain) {
  MakeFile("a\\b\\c\\file.txt");
  MakeFile("a\\b\\other.txt");
  MakeFile("kept\\user file.txt");
  DeletionOutcome outcome =
      Run("a\na\\b\na\\b\\c\na\\b\\c\\file.txt\na\\b\\other.txt\nkept\nmissing.txt\n");
  EXPECT_EQ(5, outcome.removed);
  // All seven lines, then the four folders again at the end of the pass;
  // the second pass looks only at what the first did not remove: kept
  // (at the end only) and missing.txt.
  EXPECT_EQ(7 + 4 + 2 + 1, outcome.tried);
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
  EXPECT_EQ(1, outcome.removed);
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_FALSE(Exists("x.dll"));
  EXPECT_FALSE(Exists("x.dll.0.tmp"));
  EXPECT_TRUE(Exists("x.dll.0.tmp.0.tmp"));
  // Each file, then the folder, which holds nothing else but the list.
  EXPECT_EQ((std::vector<std::string>{Path("x.dll.0.tmp"), Path("x.dll.0.tmp.0.tmp"), kFolder}),
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
    Run(row.list);
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
  Run(list);
  for (const Row& row : rows) EXPECT_FALSE(Exists(row.name)) << row.name;
  EXPECT_FALSE(Exists("ro"));
}

TEST_F(DeletionPassesTest, MissingEntriesAreSkippedAndEndTheFirstPass) {
  MakeFile("kept.txt");
  DeletionOutcome outcome =
      RunWithLateFile("gone.txt\nno\\such\\folder\n..\\..\\nothing here\n", 1);
  EXPECT_TRUE(Exists(kLateFile));  // no second pass
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("kept.txt"));
}

TEST_F(DeletionPassesTest, FolderThatNeverEmptiesStays) {
  MakeFile("data\\user file.txt");
  MakeFile("data\\listed.txt");
  DeletionOutcome outcome = Run("data\ndata\\listed.txt\n");
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
    EXPECT_EQ(row.tried, outcome.tried);
    EXPECT_FALSE(Exists("after.txt"));
  }
}

TEST_F(DeletionPassesTest, FileInUseIsMovedToAFreeTemporaryNameAndDeletedAtRestart) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("x.dll");
  MakeLoadedLibrary("sub\\y.dll");
  MakeFile("sub\\y.dll.0.tmp", "an earlier uninstall's");
  DeletionOutcome outcome = RunWithLateFile("x.dll\nsub\\y.dll\n", 1);
  EXPECT_TRUE(Exists(kLateFile));  // moves are no successes: no second pass
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_FALSE(Exists("x.dll"));
  EXPECT_TRUE(Exists("x.dll.0.tmp"));
  EXPECT_FALSE(Exists("sub\\y.dll"));
  EXPECT_TRUE(Exists("sub\\y.dll.1.tmp"));
  EXPECT_EQ("an earlier uninstall's", test::ReadWholeFile(Path("sub\\y.dll.0.tmp")));
  // sub holds the earlier uninstall's file, which is not the run's: sub
  // and the program folder stay.
  EXPECT_EQ((std::vector<std::string>{Path("x.dll.0.tmp"), Path("sub\\y.dll.1.tmp")}),
            pending.AddedDeletions());
}

// "x.", "x\." and "x/" name x itself: x goes aside as x.0.tmp and is
// scheduled, as listed plainly.
TEST_F(DeletionPassesTest, FileInUseSpeltWithATrailingDotOrSeparatorIsMovedAsItself) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("a.dll");
  MakeLoadedLibrary("b.dll");
  MakeLoadedLibrary("c.dll");
  MakeFile("uninstall.exe");
  Run("a.dll.\nb.dll\\.\nc.dll/\n");
  EXPECT_EQ((std::vector<std::string>{"Uninstall.lst", "a.dll.0.tmp", "b.dll.0.tmp", "c.dll.0.tmp",
                                      "uninstall.exe"}),
            test::FolderEntries(kFolder));
  EXPECT_EQ((std::vector<std::string>{Path("a.dll.0.tmp"), Path("b.dll.0.tmp"), Path("c.dll.0.tmp"),
                                      kFolder}),
            pending.AddedDeletions());
}

TEST_F(DeletionPassesTest, FileThatCannotBeMovedIsDeletedAtRestartUnderItsOwnName) {
  test::ScopedPendingRenames pending;
  MakeLockedFile("locked.dat");
  MakeFile("other.txt");
  DeletionOutcome outcome = Run("locked.dat\nother.txt\n");
  EXPECT_TRUE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("locked.dat"));
  EXPECT_FALSE(Exists("locked.dat.0.tmp"));
  EXPECT_FALSE(Exists("other.txt"));
  EXPECT_EQ((std::vector<std::string>{Path("locked.dat"), kFolder}),
            pending.AddedDeletions());  // once, not once per pass
}

TEST_F(DeletionPassesTest, WithAllThousandTemporaryNamesTakenTheFileStaysAndNeedsARestart) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("x.dll");
  for (int i = 0; i < kTemporaryNameCount; ++i) {
    MakeFile("x.dll." + std::to_string(i) + ".tmp", "taken");
  }
  DeletionOutcome outcome = RunWithLateFile("x.dll\n", 1);
  EXPECT_TRUE(Exists(kLateFile));  // a scheduled file is no success: no second pass
  EXPECT_TRUE(outcome.restartNeeded);
  EXPECT_TRUE(Exists("x.dll"));
  EXPECT_EQ("taken", test::ReadWholeFile(Path("x.dll.999.tmp")));
  // The folder holds the thousand files that are not the run's.
  EXPECT_EQ((std::vector<std::string>{Path("x.dll")}), pending.AddedDeletions());
}

TEST_F(DeletionPassesTest, OnlyFoldersTheListNamesOrTheRunEmptiedAreRemovedAtRestart) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("listed\\a.dll");
  MakeFile("listed\\user.txt");
  MakeLoadedLibrary("emptied\\b.dll");
  MakeFile("emptied\\c.txt");
  MakeLoadedLibrary("kept\\d.dll");
  MakeFolder("kept\\new");  // a reinstall's empty folder, say
  MakeFile("uninstall.exe");
  DeletionOutcome outcome =
      Run("listed\\a.dll\nlisted\nemptied\\b.dll\nemptied\\c.txt\nkept\\d.dll\n");
  EXPECT_FALSE(outcome.restartNeeded);
  // The files first, then the folders; kept and the program folder hold
  // what is not the run's.
  EXPECT_EQ((std::vector<std::string>{Path("listed\\a.dll.0.tmp"), Path("emptied\\b.dll.0.tmp"),
                                      Path("kept\\d.dll.0.tmp"), Path("emptied"), Path("listed")}),
            pending.AddedDeletions());
  EXPECT_TRUE(Exists("kept\\new"));
}

TEST_F(DeletionPassesTest, ProgramFolderHoldingOnlyWhatGoesIsRemovedAtRestart) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("sub\\x.dll");
  MakeFile("uninstall.exe");
  Run("sub\\x.dll\nsub\n");
  EXPECT_EQ((std::vector<std::string>{Path("sub\\x.dll.0.tmp"), Path("sub"), kFolder}),
            pending.AddedDeletions());
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
  DeletionOutcome outcome = RunWithLateFile(list, 1);
  EXPECT_TRUE(Exists(kLateFile));  // what is left alone is no success: no second pass
  EXPECT_FALSE(outcome.restartNeeded);
  for (const char* name : names) {
    EXPECT_TRUE(Exists(name)) << name;
    EXPECT_FALSE(Exists(std::string(name) + ".0.tmp")) << name;
  }
  EXPECT_TRUE(Exists("Uninstall.lst"));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

// The system reads "x." and "x\." as x: spelt so, the program file and the
// list file are still themselves.
TEST_F(DeletionPassesTest, ProgramFileAndListFileSpeltOtherwiseAreNeverMovedOrScheduled) {
  const char* spellings[] = {"uninstall.exe.", "uninstall.exe\\.", "uninstall.exe/",
                             "Uninstall.lst.", "Uninstall.lst\\."};
  for (const char* spelling : spellings) {
    SCOPED_TRACE(spelling);
    test::RemoveTree(kFolder);
    test::MakeFolders(kFolder);
    test::ScopedPendingRenames pending;
    MakeLoadedLibrary("uninstall.exe");
    DeletionOutcome outcome = Run(std::string(spelling) + "\n");
    EXPECT_FALSE(outcome.restartNeeded);
    EXPECT_TRUE(Exists("uninstall.exe"));
    EXPECT_TRUE(Exists("Uninstall.lst"));
    EXPECT_EQ((std::vector<std::string>{"Uninstall.lst", "uninstall.exe"}),
              test::FolderEntries(kFolder));
    EXPECT_TRUE(pending.AddedDeletions().empty());
    ReleaseHeldFiles();
  }
}

TEST_F(DeletionPassesTest, ProgramFileByItsShortNameIsNeverMovedOrScheduled) {
  test::ScopedPendingRenames pending;
  MakeLoadedLibrary("uninstall.exe");
  char shortPath[MAX_PATH];
  ASSERT_NE(0u, GetShortPathNameA(Path("uninstall.exe").c_str(), shortPath, MAX_PATH));
  std::string shortName = std::strrchr(shortPath, '\\') + 1;
  ASSERT_NE("uninstall.exe", shortName);
  Run(shortName + "\n");
  EXPECT_EQ((std::vector<std::string>{"Uninstall.lst", "uninstall.exe"}),
            test::FolderEntries(kFolder))
      << shortName;
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
  DeletionOutcome outcome = Run(test::ListLines(entries) + "listed.txt\r\n");
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

TEST_F(DeletionPassesTest, LinksAndDevicesAreNeverFollowed) {
  // Outside the folder, reachable only through the links. Wine removes the
  // folder a link points at when asked to remove the link: an empty one
  // would go.
  const std::string outside = std::string(kRoot) + "\\outside";
  const std::string empty = std::string(kRoot) + "\\empty";
  test::MakeFolders(outside + "\\sub");
  test::MakeFolders(empty);
  ASSERT_TRUE(test::WriteWholeFile(outside + "\\victim.txt", "victim"));
  ASSERT_TRUE(test::WriteWholeFile(outside + "\\sub\\deep.txt", "victim"));
  ASSERT_TRUE(SetFileAttributesA((outside + "\\victim.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  MakeFile("real\\own.txt");
  ASSERT_TRUE(test::MakeFolderLink(Path("linkdir"), outside));
  ASSERT_TRUE(test::MakeFolderLink(Path("real\\inner"), outside));
  ASSERT_TRUE(test::MakeFolderLink(Path("emptylink"), empty));
  test::ScopedPendingRenames pending;
  const char* entries[] = {
      "linkdir\\victim.txt",
      "linkdir\\sub\\deep.txt",
      "linkdir\\sub",
      "linkdir/victim.txt",
      "real\\inner\\victim.txt",
      "real\\inner\\sub",
      "real\\inner",
      "linkdir",
      "emptylink",
      "real\\own.txt",
      "real",
      "real\\nul",
      "real\\CON\\x",
  };
  DeletionOutcome outcome = Run(test::ListLines(entries) + test::ListLines(test::kDeviceEntries));
  EXPECT_FALSE(outcome.restartNeeded);
  EXPECT_TRUE(pending.AddedDeletions().empty());  // no device was scheduled
  EXPECT_EQ("", std::string(outcome.leftovers));
  EXPECT_FALSE(Exists("real\\own.txt"));
  // What the links point at stays as it was, attributes too. (Windows
  // removes the links themselves; Wine cannot, and they stay.)
  EXPECT_EQ("victim", test::ReadWholeFile(outside + "\\victim.txt"));
  EXPECT_EQ("victim", test::ReadWholeFile(outside + "\\sub\\deep.txt"));
  EXPECT_TRUE(test::Exists(empty));
  EXPECT_EQ(DWORD{FILE_ATTRIBUTE_READONLY},
            GetFileAttributesA((outside + "\\victim.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((outside + "\\victim.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  // Before their folders go: a link left dangling cannot be found again.
  for (const char* link : {"linkdir", "real\\inner", "emptylink"})
    test::RemoveFolderLink(Path(link));
}

// Another process's work during a run, done before a chosen entry: the
// folder is replaced by a link to a folder outside the installation.
struct SwapDuringRun {
  int swapAt;  // the call before which it is done; -1: never
  std::string folder;
  std::string target;
  int calls = 0;
  bool swapped = false;
};

void SwapBeforeEntry(std::size_t, void* context) {
  auto* swap = static_cast<SwapDuringRun*>(context);
  if (swap->calls++ != swap->swapAt) return;
  swap->swapped = test::SwapFolderForLink(swap->folder, swap->folder + ".moved", swap->target);
}

TEST_F(DeletionPassesTest, FolderReplacedByALinkDuringTheRunLeadsNowhere) {
  const std::string outside = std::string(kRoot) + "\\outside";
  test::MakeFolders(outside);
  ASSERT_TRUE(test::WriteWholeFile(outside + "\\victim.txt", "victim"));
  MakeFile("sub\\a.txt");
  MakeFile("sub\\victim.txt", "ours");
  std::string list = "sub\\a.txt\r\n";
  char name[32];
  for (int i = 0; i < 20000; ++i) {
    std::snprintf(name, sizeof name, "sub\\miss%05d\r\n", i);
    list += name;
  }
  list += "sub\\victim.txt\r\n";
  // As soon as sub\a.txt is gone.
  SwapDuringRun swap{1, Path("sub"), outside};
  SetBeforeEntryHookForTest(SwapBeforeEntry, &swap);
  Run(list);
  SetBeforeEntryHookForTest(nullptr, nullptr);
  ASSERT_TRUE(swap.swapped);
  EXPECT_FALSE(Exists("sub.moved\\a.txt"));
  EXPECT_EQ("victim", test::ReadWholeFile(outside + "\\victim.txt"));
  EXPECT_TRUE(test::RemoveFolderLink(Path("sub")));
}

TEST_F(DeletionPassesTest, FolderReplacedByALinkAtAnyStepLeavesEverythingOutsideAsItWas) {
  // Outside: a tree with the installation's own names, so that any entry
  // followed through a link would find its file there.
  const std::string outside = std::string(kRoot) + "\\outside";
  const char* files[] = {"f1.txt", "b\\f2.txt", "b\\f3.txt", "b\\x.dll", "b\\c\\f4.txt"};
  struct Row {
    const char* name;
    const char* list;
  };
  const Row rows[] = {
      {"contents first",
       "a\\f1.txt\na\\b\\f2.txt\na\\b\\x.dll\na\\b\\c\\f4.txt\na\\b\\f3.txt\n"
       "a\\b\\c\na\\b\na\n"},
      {"folders first",
       "a\na\\b\na\\b\\c\na\\f1.txt\na\\b\\f2.txt\na\\b\\x.dll\na\\b\\f3.txt\n"
       "a\\b\\c\\f4.txt\n"},
  };
  // Each installation folder and its namesake outside.
  const std::pair<const char*, const char*> swaps[] = {
      {"a", ""}, {"a\\b", "\\b"}, {"a\\b\\c", "\\b\\c"}};
  for (const Row& row : rows) {
    for (const auto& [swapped, namesake] : swaps) {
      for (int step = 0;; ++step) {
        SCOPED_TRACE(std::string(row.name) + ", " + swapped + " before call " +
                     std::to_string(step));
        test::ScopedPendingRenames pending;
        test::RemoveTree(outside);
        for (const char* file : files) {
          test::MakeFolders(outside + "\\b\\c");
          ASSERT_TRUE(test::WriteWholeFile(outside + "\\" + file, "victim"));
        }
        const std::vector<std::string> before = test::ListTree(outside);
        for (const char* file : files) MakeFile(std::string("a\\") + file);
        MakeLoadedLibrary("a\\b\\x.dll");
        SwapDuringRun swap{step, Path(swapped), outside + namesake};
        SetBeforeEntryHookForTest(SwapBeforeEntry, &swap);
        Run(row.list);
        SetBeforeEntryHookForTest(nullptr, nullptr);
        EXPECT_EQ(before, test::ListTree(outside));
        for (const char* file : files) {
          EXPECT_EQ("victim", test::ReadWholeFile(outside + "\\" + file)) << file;
        }
        for (const std::string& deletion : pending.AddedDeletions()) {
          EXPECT_EQ(0u, deletion.rfind(kFolder, 0)) << deletion;
        }
        test::RemoveFolderLink(Path(swapped));
        ReleaseHeldFiles();
        test::RemoveTree(kFolder);
        test::MakeFolders(kFolder);
        if (step >= swap.calls) break;  // the run ended before this call
      }
    }
  }
}

TEST_F(DeletionPassesTest, FileThatCannotBeScheduledIsALeftover) {
  test::ScopedPendingRenames pending;
  MakeLockedFile("locked.dat");
  MakeLoadedLibrary("x.dll");
  SetRestartDeletionFaultForTest(true);
  DeletionOutcome outcome = Run("locked.dat\nx.dll\n");
  SetRestartDeletionFaultForTest(false);
  EXPECT_FALSE(outcome.restartNeeded);  // the restart would change nothing
  EXPECT_EQ(Path("locked.dat") + "\n" + Path("x.dll.0.tmp"), std::string(outcome.leftovers));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

TEST_F(DeletionPassesTest, LeftoverListThatIsCutSaysHowManyPathsItLeavesOut) {
  test::ScopedPendingRenames pending;
  constexpr int kFiles = 30;
  std::string list;
  for (int i = 0; i < kFiles; ++i) {
    std::string name = std::string(150, 'n') + std::to_string(100 + i) + ".dat";
    MakeLockedFile(name);
    list += name + "\n";
  }
  SetRestartDeletionFaultForTest(true);
  DeletionOutcome outcome = Run(list);
  SetRestartDeletionFaultForTest(false);
  std::string text = outcome.leftovers;
  ASSERT_LT(text.size(), kLeftoverListSize);
  std::size_t last = text.rfind('\n');
  ASSERT_NE(std::string::npos, last);
  int named = 0;
  for (std::size_t start = 0; start < last; start = text.find('\n', start) + 1) {
    EXPECT_EQ(0u, text.compare(start, std::strlen(kFolder), kFolder)) << start;
    ++named;
  }
  EXPECT_GT(named, 10);
  EXPECT_EQ("(+" + std::to_string(kFiles - named) + ")", text.substr(last + 1));
}

TEST_F(DeletionPassesTest, LeftoverListThatFitsHasNoCountLine) {
  test::ScopedPendingRenames pending;
  MakeLockedFile("locked.dat");
  SetRestartDeletionFaultForTest(true);
  DeletionOutcome outcome = Run("locked.dat\n");
  SetRestartDeletionFaultForTest(false);
  EXPECT_EQ(Path("locked.dat"), std::string(outcome.leftovers));
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

TEST(NamesDeviceTest, DeviceNamesAreFoundInEveryComponent) {
  struct Row {
    const char* entry;
    bool device;
  };
  const Row rows[] = {
      {"NUL", true},
      {"nul.txt", true},
      {"nul.", true},
      {"NUL .x", true},
      {"con", true},
      {"COM1", true},
      {"com9.log", true},
      {"LPT1.x.y", true},
      {"CONIN$", true},
      {"conout$.log", true},
      {"a\\con\\b", true},
      {"a/prn", true},
      {"COM0", false},
      {"COM10", false},
      {"nullify", false},
      {"icon", false},
      {"con_x", false},
      {"auxiliary.txt", false},
      {" nul", false},
      {"Korvik.exe", false},
      // Code page 936: 0x81 0x5C is one character, so "aux" is no component.
      {"\x81\x5C"
       "aux",
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    EXPECT_EQ(row.device, NamesDevice(row.entry));
  }
}

// The character U+00B9, U+00B2 or U+00B3 in the ANSI code page; "" where
// the code page has none.
std::string Superscript(WCHAR digit) {
  char text[4] = {};
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &digit, 1, text, sizeof text,
                                   nullptr, &lossy);
  return length > 0 && !lossy ? std::string(text, length) : std::string();
}

TEST(NamesDeviceTest, SuperscriptDigitsOneToThreeNameDevicesInTheAnsiCodePage) {
  if (const char* expected = std::getenv("KORVIK_EXPECT_CODE_PAGE")) {
    ASSERT_EQ(std::atoi(expected), static_cast<int>(GetACP()));
  }
  int checked = 0;
  for (WCHAR digit : {WCHAR{0x00B9}, WCHAR{0x00B2}, WCHAR{0x00B3}}) {
    std::string superscript = Superscript(digit);
    SCOPED_TRACE(static_cast<int>(digit));
    if (superscript.empty()) continue;
    ++checked;
    for (const char* base : {"COM", "lpt", "a\\Com"}) {
      EXPECT_TRUE(NamesDevice((base + superscript).c_str())) << base;
      EXPECT_TRUE(NamesDevice((base + superscript + ".txt").c_str())) << base;
      EXPECT_FALSE(NamesDevice((base + superscript + "x").c_str())) << base;
      EXPECT_FALSE(NamesDevice((base + ("1" + superscript)).c_str())) << base;
    }
    EXPECT_FALSE(NamesDevice(("AUX" + superscript).c_str()));
  }
  if (GetACP() == 1252) {
    EXPECT_EQ(3, checked);
    EXPECT_EQ("\xB9\xB2\xB3", Superscript(0x00B9) + Superscript(0x00B2) + Superscript(0x00B3));
  }
  // Code page 936: 0xB9 0xB2 is one character, no superscript.
  if (GetACP() == 936) {
    EXPECT_FALSE(NamesDevice("COM\xB9\xB2"));
  }
  EXPECT_FALSE(NamesDevice("COM\xBC"));  // one quarter in 1252
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
  const Row rows[] = {{0, "f.dll.0.tmp"},
                      {1, "f.dll.1.tmp"},
                      {7, "f.dll.7.tmp"},
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
