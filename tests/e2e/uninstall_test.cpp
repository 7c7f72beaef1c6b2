// The uninstall run end to end: the question, the list file, the deletion
// passes, files in use, the restart notice and the self-removal batch file,
// run by the real command interpreter after the program has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "e2e/sandbox.h"
#include "support/test_support.h"
#include "uninstall/self_removal.h"

namespace {

using e2e::Sandbox;

constexpr DWORD kRemovalTimeoutMs = 30000;  // the batch file pauses 2 s first
constexpr char kBatchName[] = "Uninstall_Orv.Bat";

struct Box {
  std::string caption;
  std::string text;
  driver::Icon icon = driver::Icon::None;
};

Box Read(HWND box) {
  Box seen;
  seen.caption = driver::WindowText(box);
  seen.text = driver::MessageBoxText(box);
  seen.icon = driver::MessageBoxIcon(box);
  return seen;
}

// The program's temporary folder is one of the sandbox's own, so that the
// batch file can be looked at. The batch file and what it starts outlive
// the program, as they do for a user, in the sandbox's job.
std::string BatchPath(const Sandbox& sandbox) { return sandbox.TempFolder() + "\\" + kBatchName; }

driver::StartOptions UninstallOptions(const Sandbox& sandbox, const std::string& args = "") {
  test::MakeFolders(sandbox.TempFolder());
  driver::StartOptions options = sandbox.Options(args);
  options.setEnv = {"TEMP=" + sandbox.TempFolder(), "TMP=" + sandbox.TempFolder()};
  return options;
}

using test::Exists;

// Answers the confirmation with the given button and gives what it showed.
Box AnswerQuestion(const driver::Process& process, int answer) {
  Box seen;
  HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
  EXPECT_NE(nullptr, box) << "no question";
  if (!box) return seen;
  seen = Read(box);
  EXPECT_TRUE(driver::Press(box, answer));
  EXPECT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
  return seen;
}

using e2e::ExpectEndsQuietly;

// A typical installation and its list: files before their folders, a
// folder before its contents, CR LF and LF ends, blanks and empty lines.
void Install(const Sandbox& sandbox) {
  ASSERT_TRUE(sandbox.WriteFile("korvik.chm", "help"));
  ASSERT_TRUE(sandbox.WriteFile("Formats\\arj.fmt", "arj"));
  ASSERT_TRUE(sandbox.WriteFile("Formats\\cab.fmt", "cab"));
  ASSERT_TRUE(sandbox.WriteFile("Docs\\License.txt", "licence"));
  ASSERT_TRUE(sandbox.WriteFile("Docs\\Order\\order.htm", "order"));
  ASSERT_TRUE(
      SetFileAttributesA(sandbox.Path("Docs\\License.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  // Left by a help viewer; not listed.
  ASSERT_TRUE(sandbox.WriteFile("korvik.gid", "index"));
  ASSERT_TRUE(SetFileAttributesA(sandbox.Path("korvik.gid").c_str(),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(sandbox.WriteFile("korvik.fts", "index"));
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst",
                                "Korvik.exe\r\n"
                                "korvik.chm  \r\n"
                                "\r\n"
                                "Formats\\arj.fmt\n"
                                "Formats\\cab.fmt\t\n"
                                "Formats\n"
                                "Docs\n"
                                "Docs\\Order\n"
                                "Docs\\Order\\order.htm\n"
                                "Docs\\License.txt\n"
                                "uninstall.exe\n"
                                "Uninstall.lst\n"));
}

// A file that cannot be deleted but can be moved: a library this process
// has loaded. Let go when destroyed.
class LoadedLibrary {
 public:
  LoadedLibrary(const Sandbox& sandbox, const std::string& relative) {
    if (sandbox.CopyIn(e2e::FixtureLibrary("translated"), relative)) {
      module_ = LoadLibraryA(sandbox.Path(relative).c_str());
    }
  }
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  bool Loaded() const { return module_ != nullptr; }

 private:
  HMODULE module_ = nullptr;
};

// A file that can be neither deleted nor moved: held open, shared for
// reading only. Let go when destroyed.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE file_;
};

// The line the stand-in recorded: its command line and current folder.
struct Started {
  std::string commandLine;
  std::string folder;
};

Started ReadStarted(const std::string& log) {
  std::string text;
  // The file is made before its line is written.
  EXPECT_TRUE(test::WaitUntil([&] {
    text = test::ReadWholeFile(log);
    return text.find("\r\n") != std::string::npos;
  })) << "the interpreter never started";
  Started started;
  std::size_t tab = text.find('\t');
  std::size_t end = text.find("\r\n");
  if (tab == std::string::npos || end == std::string::npos) return started;
  started.commandLine = text.substr(0, tab);
  started.folder = text.substr(tab + 1, end - tab - 1);
  EXPECT_EQ(text.size(), end + 2) << "started more than once: " << text;
  return started;
}

Started ReadStarted(const Sandbox& sandbox) {
  return ReadStarted(sandbox.Root() + "\\shell\\Korvik.started.log");
}

// Takes "COMSPEC" out of the user's environment key for as long as it
// lives, so that nothing can bring it back into a started program's
// environment, and puts it back as it was.
class ScopedNoUserComspec {
 public:
  ScopedNoUserComspec() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
      return;
    }
    char value[MAX_PATH * 4];
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "COMSPEC", nullptr, &type_, reinterpret_cast<BYTE*>(value), &size) ==
        ERROR_SUCCESS) {
      saved_.assign(value, size);
      had_ = RegDeleteValueA(key, "COMSPEC") == ERROR_SUCCESS;
    }
    RegCloseKey(key);
  }
  ~ScopedNoUserComspec() {
    HKEY key;
    if (!had_ ||
        RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
      return;
    }
    RegSetValueExA(key, "COMSPEC", 0, type_, reinterpret_cast<const BYTE*>(saved_.data()),
                   static_cast<DWORD>(saved_.size()));
    RegCloseKey(key);
  }
  ScopedNoUserComspec(const ScopedNoUserComspec&) = delete;
  ScopedNoUserComspec& operator=(const ScopedNoUserComspec&) = delete;

 private:
  bool had_ = false;
  DWORD type_ = REG_SZ;
  std::string saved_;
};

bool UserEnvironmentHasComspec() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  bool has = RegQueryValueExA(key, "COMSPEC", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return has;
}

std::string WindowsFolder() {
  char windows[MAX_PATH];
  EXPECT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  return windows;
}

// The batch file that the program's own composer makes for these paths,
// whose bytes the composer's unit test proves: here, that the run hands it
// the right paths and family.
std::string ExpectedBatch(const std::string& program, const std::string& folder,
                          const std::string& batch, bool ntFamily, bool quiet = false) {
  char text[kBatchSize];
  EXPECT_TRUE(ComposeSelfRemovalBatch(text, sizeof text, program.c_str(), folder.c_str(),
                                      batch.c_str(), ntFamily, quiet));
  return text;
}

// Gives a drive letter to a folder for as long as it lives, through Wine's
// drive links (there is no "subst" in Wine). Wine runs the Unix tools that
// make and remove the link without telling when they end, so the drive is
// waited for.
class ScopedDrive {
 public:
  explicit ScopedDrive(const std::string& folder) {
    using UnixName = char*(CDECL*)(const WCHAR*);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return;
    std::wstring wide(folder.begin(), folder.end());
    char* target = unixName(wide.c_str());
    char* driveC = unixName(L"C:\\");  // ".../dosdevices/c:/"
    DWORD used = GetLogicalDrives();
    char letter = 'R';
    while (letter <= 'Y' && (used & (1u << (letter - 'A')))) ++letter;
    if (target && driveC && letter <= 'Y') {
      std::string devices = driveC;
      devices.erase(devices.size() - 3);
      link_ = devices + static_cast<char>(letter - 'A' + 'a') + ":";
      root_ = std::string(1, letter) + ":\\";
      test::RunAndWait("Z:\\bin\\ln -s " + std::string(target) + " " + link_);
      if (!test::WaitForPath(root_, true, test::kWaitMs)) root_.clear();
    }
    if (target) HeapFree(GetProcessHeap(), 0, target);
    if (driveC) HeapFree(GetProcessHeap(), 0, driveC);
  }
  ~ScopedDrive() {
    if (link_.empty()) return;
    test::RunAndWait("Z:\\bin\\rm -f " + link_);
    if (!root_.empty()) test::WaitForPath(root_, false, test::kWaitMs);
  }
  ScopedDrive(const ScopedDrive&) = delete;
  ScopedDrive& operator=(const ScopedDrive&) = delete;

  const std::string& Root() const { return root_; }  // "R:\\", or empty when none was made

 private:
  std::string link_;
  std::string root_;
};

TEST(UninstallTest, AnsweringNoRemovesNothing) {
  Sandbox sandbox("uninstall-no");
  Install(sandbox);
  test::ScopedPendingRenames pending;
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox)));
  Box question = AnswerQuestion(process, IDNO);
  EXPECT_EQ(test::Acp("卸载 Korvik"), question.caption);
  EXPECT_EQ(test::Acp("继续卸载 Korvik 吗？"), question.text) << test::Utf8(question.text);
  EXPECT_EQ(driver::Icon::Question, question.icon) << driver::IconName(question.icon);
  ExpectEndsQuietly(process);

  for (const char* name : {"uninstall.exe", "Korvik.exe", "Uninstall.lst", "korvik.gid",
                           "korvik.fts", "Docs\\License.txt", "Formats"}) {
    EXPECT_TRUE(sandbox.Exists(name)) << name;
  }
  EXPECT_FALSE(Exists(BatchPath(sandbox)));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

TEST(UninstallTest, YesRemovesTheInstallationAndThenTheProgramAndItsFolder) {
  Sandbox sandbox("uninstall-yes");
  Install(sandbox);
  ASSERT_TRUE(sandbox.WriteFile("Formats\\user.fmt", "not listed"));
  test::ScopedPendingRenames pending;
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox)));
  AnswerQuestion(process, IDYES);
  ExpectEndsQuietly(process);

  // What the run removes itself; the program file waits for the batch file.
  for (const char* name : {"Korvik.exe", "korvik.chm", "Uninstall.lst", "korvik.gid", "korvik.fts",
                           "Docs", "Formats\\arj.fmt"}) {
    EXPECT_FALSE(sandbox.Exists(name)) << name;
  }
  EXPECT_TRUE(sandbox.Exists("Formats\\user.fmt"));

  EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
  EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
  // The folder still holds a file that was not listed.
  EXPECT_TRUE(Exists(sandbox.Folder()));
  EXPECT_TRUE(Exists(sandbox.Root()));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

TEST(UninstallTest, SilentRunAsksNothingAndLeavesNoFolderBehind) {
  const char* switches[] = {"/s", "-S", "/s1"};
  for (const char* args : switches) {
    SCOPED_TRACE(args);
    Sandbox sandbox("uninstall-silent");
    Install(sandbox);
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox, args)));
    ExpectEndsQuietly(process);
    EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
    EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
    EXPECT_TRUE(Exists(sandbox.Root()));
  }
}

TEST(UninstallTest, LanguageLibraryAsksAndIsReleasedSoItCanBeDeleted) {
  Sandbox sandbox("uninstall-library");
  Install(sandbox);
  ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary("translated"), "orvlng.dll"));
  std::string list = sandbox.ReadFile("Uninstall.lst");
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", "orvlng.dll\n" + list));
  test::ScopedPendingRenames pending;
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox)));
  Box question = AnswerQuestion(process, IDYES);
  EXPECT_EQ("Uninstall Korvik", question.caption);
  EXPECT_EQ("Continue uninstalling Korvik?", question.text);
  ExpectEndsQuietly(process);
  EXPECT_FALSE(sandbox.Exists("orvlng.dll"));
  EXPECT_FALSE(sandbox.Exists("orvlng.dll.0.tmp"));
  EXPECT_TRUE(pending.AddedDeletions().empty());
  EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
}

TEST(UninstallTest, MissingListFileIsReportedAndNothingIsRemoved) {
  struct Row {
    const char* library;  // the language library beside the program, or none
    std::string caption;
    std::string text;
  };
  const Row rows[] = {
      {nullptr, test::Acp("卸载 Korvik"), test::Acp("无法打开列表文件 Uninstall.lst")},
      {"translated", "Uninstall Korvik", "Cannot open the list file Uninstall.lst"},
      // A format with a conversion the program never passes is not used.
      {"badformat", "Uninstall Korvik", test::Acp("无法打开列表文件 Uninstall.lst")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.library ? row.library : "built-in");
    Sandbox sandbox("uninstall-nolist");
    Install(sandbox);
    ASSERT_TRUE(DeleteFileA(sandbox.Path("Uninstall.lst").c_str()));
    if (row.library) {
      ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary(row.library), "orvlng.dll"));
    }
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox, "/s")));
    HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
    ASSERT_NE(nullptr, box);
    Box seen = Read(box);
    EXPECT_EQ(row.caption, seen.caption);
    EXPECT_EQ(row.text, seen.text) << test::Utf8(seen.text);
    EXPECT_EQ(driver::Icon::Error, seen.icon) << driver::IconName(seen.icon);
    ASSERT_TRUE(driver::Press(box, IDOK));
    ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
    ExpectEndsQuietly(process);
    for (const char* name : {"uninstall.exe", "Korvik.exe", "korvik.gid", "korvik.fts"}) {
      EXPECT_TRUE(sandbox.Exists(name)) << name;
    }
    EXPECT_FALSE(Exists(BatchPath(sandbox)));
  }
}

TEST(UninstallTest, FileInUseIsMovedAsideAndDeletedAtRestartWithoutANotice) {
  Sandbox sandbox("uninstall-inuse");
  Install(sandbox);
  test::ScopedPendingRenames pending;
  {
    LoadedLibrary library(sandbox, "orvext.dll");
    ASSERT_TRUE(library.Loaded());
    ASSERT_TRUE(sandbox.WriteFile("orvext.dll.0.tmp", "left by an earlier uninstall"));
    std::string list = sandbox.ReadFile("Uninstall.lst");
    ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", "orvext.dll\n" + list));

    driver::Process process;
    ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox)));
    AnswerQuestion(process, IDYES);
    ExpectEndsQuietly(process);
    EXPECT_FALSE(sandbox.Exists("orvext.dll"));
    EXPECT_TRUE(sandbox.Exists("orvext.dll.1.tmp"));
    // Not the folder: it holds the earlier uninstall's file, which the
    // list does not name, and would not be empty at the restart.
    EXPECT_EQ((std::vector<std::string>{sandbox.Path("orvext.dll.1.tmp")}),
              pending.AddedDeletions());
    EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
    EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
  }
  EXPECT_TRUE(Exists(sandbox.Folder()));  // it holds the moved file
}

TEST(UninstallTest, FileThatCannotBeMovedBringsTheRestartNoticeInTheBuiltInLanguage) {
  Sandbox sandbox("uninstall-restart");
  Install(sandbox);
  // The question comes from the language library; the notice comes after the
  // library has been released.
  ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary("translated"), "orvlng.dll"));
  ASSERT_TRUE(sandbox.WriteFile("Data\\held.dat", "held"));
  std::string list = sandbox.ReadFile("Uninstall.lst");
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", "Data\\held.dat\nData\n" + list));
  test::ScopedPendingRenames pending;
  HeldFile held(sandbox.Path("Data\\held.dat"));
  ASSERT_TRUE(held.Held());

  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox)));
  Box question = AnswerQuestion(process, IDYES);
  EXPECT_EQ("Continue uninstalling Korvik?", question.text);
  HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
  ASSERT_NE(nullptr, box);
  // Everything else is gone before the notice shows.
  EXPECT_FALSE(sandbox.Exists("Uninstall.lst"));
  EXPECT_FALSE(sandbox.Exists("Docs"));
  Box notice = Read(box);
  EXPECT_EQ(test::Acp("卸载 Korvik"), notice.caption);
  EXPECT_EQ(test::Acp("你必须重新启动 Windows 才能完全卸载 Korvik。"), notice.text)
      << test::Utf8(notice.text);
  EXPECT_EQ(driver::Icon::Information, notice.icon) << driver::IconName(notice.icon);
  ASSERT_TRUE(driver::Press(box, IDOK));
  ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
  ExpectEndsQuietly(process);

  EXPECT_TRUE(sandbox.Exists("Data\\held.dat"));
  EXPECT_FALSE(sandbox.Exists("Data\\held.dat.0.tmp"));
  // Once, not once per pass; then the folder the list names. The program
  // folder holds the language library, which the list does not name.
  EXPECT_EQ((std::vector<std::string>{sandbox.Path("Data\\held.dat"), sandbox.Path("Data")}),
            pending.AddedDeletions());
  EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
}

// The command names no path: cmd would expand a defined %NAME% in it. The
// batch file is found in the interpreter's folder, its own, outside the
// program folder; a quiet run's batch file starts quiet instances.
TEST(SelfRemovalEndToEnd, InterpreterRunsTheBatchFileFromItsOwnFolderByItsNameAlone) {
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "silent");
    Sandbox sandbox("uninstall-batch");
    Install(sandbox);
    std::string interpreter = e2e::InterpreterStandIn(sandbox);
    driver::StartOptions options = UninstallOptions(sandbox, quiet ? "/quiet" : "/s");
    options.setEnv.push_back("COMSPEC=" + interpreter);
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, options));
    ExpectEndsQuietly(process);

    Started started = ReadStarted(sandbox);
    EXPECT_EQ(interpreter + " /d /v:off /c .\\" + kBatchName, started.commandLine);
    EXPECT_EQ(sandbox.TempFolder(), started.folder);
    EXPECT_EQ(
        ExpectedBatch(sandbox.ProgramPath(), sandbox.Folder(), BatchPath(sandbox), true, quiet),
        test::ReadWholeFile(BatchPath(sandbox)));
    EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
    EXPECT_FALSE(sandbox.Exists("Uninstall.lst"));
  }
}

TEST(SelfRemovalEndToEnd, NineXFamilyStartsTheProgramThroughStartAndSchedulesInWininit) {
  test::ScopedNoWininit wininit;
  test::ScopedWindowsVersion version("uninstall.exe", "win98");
  test::ScopedPendingRenames pending;

  Sandbox sandbox("uninstall-9x");
  Install(sandbox);
  ASSERT_TRUE(sandbox.WriteFile("held file.dat", "held"));
  std::string list = sandbox.ReadFile("Uninstall.lst");
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", "held file.dat\n" + list));
  HeldFile held(sandbox.Path("held file.dat"));
  ASSERT_TRUE(held.Held());
  std::string interpreter = e2e::InterpreterStandIn(sandbox);
  driver::StartOptions options = UninstallOptions(sandbox, "/s");
  options.setEnv.push_back("COMSPEC=" + interpreter);

  driver::Process process;
  ASSERT_TRUE(driver::Start(process, options));
  HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
  ASSERT_NE(nullptr, box) << "no restart notice";
  ASSERT_TRUE(driver::Press(box, IDOK));
  ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
  ExpectEndsQuietly(process);

  Started started = ReadStarted(sandbox);
  EXPECT_EQ(interpreter + " /c \"" + BatchPath(sandbox) + "\"", started.commandLine);
  EXPECT_EQ(sandbox.Root(), started.folder);
  EXPECT_EQ(ExpectedBatch(sandbox.ProgramPath(), sandbox.Folder(), BatchPath(sandbox), false),
            test::ReadWholeFile(BatchPath(sandbox)));

  char shortPath[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(sandbox.Path("held file.dat").c_str(), shortPath, sizeof shortPath),
            0u);
  // Once, not once per pass. Folders are not written there.
  EXPECT_EQ("[Rename]\r\nNUL=" + std::string(shortPath) + "\r\n",
            test::ReadWholeFile(wininit.Path()));
  EXPECT_TRUE(pending.AddedDeletions().empty());
}

TEST(SelfRemovalEndToEnd, WithoutComspecTheSystemsOwnInterpreterRemovesTheProgram) {
  ScopedNoUserComspec noUserComspec;
  ASSERT_FALSE(UserEnvironmentHasComspec());
  // The 9x family's interpreter is a stand-in, which records how it was
  // started: that also shows that "COMSPEC" did not reach the program, else
  // the program would have started what it names. The NT family's is the
  // real one, in the system folder.
  for (bool ntFamily : {false, true}) {
    SCOPED_TRACE(ntFamily ? "NT family" : "9x family");
    Sandbox sandbox("uninstall-nocomspec");
    Install(sandbox);
    driver::StartOptions options = UninstallOptions(sandbox, "/s");
    options.unsetEnv.push_back("COMSPEC");
    if (!ntFamily) {
      const std::string commandCom = WindowsFolder() + "\\COMMAND.COM";
      const std::string log = WindowsFolder() + "\\Korvik.started.log";
      test::ScopedFileRestore restoreInterpreter(commandCom);
      test::ScopedFileRestore restoreLog(log);
      DeleteFileA(log.c_str());
      ASSERT_TRUE(CopyFileA(e2e::BuiltStandIn().c_str(), commandCom.c_str(), FALSE));
      test::ScopedWindowsVersion version("uninstall.exe", "win98");
      driver::Process process;
      ASSERT_TRUE(driver::Start(process, options));
      ExpectEndsQuietly(process);
      Started started = ReadStarted(log);
      EXPECT_EQ(commandCom + " /c \"" + BatchPath(sandbox) + "\"", started.commandLine);
      EXPECT_EQ(sandbox.Root(), started.folder);
      EXPECT_EQ(ExpectedBatch(sandbox.ProgramPath(), sandbox.Folder(), BatchPath(sandbox), false),
                test::ReadWholeFile(BatchPath(sandbox)));
      EXPECT_FALSE(sandbox.Exists("Korvik.exe"));
      continue;
    }
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, options));
    ExpectEndsQuietly(process);
    EXPECT_FALSE(sandbox.Exists("Korvik.exe"));
    EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
    EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
    EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
    EXPECT_TRUE(Exists(sandbox.Root()));
  }
}

TEST(UninstallTest, EntriesReachingOutsideTheFolderAreNeverTouched) {
  Sandbox sandbox("uninstall-outside");
  Install(sandbox);
  // Beside the installation folder, and at the root of the drive.
  const std::string beside = sandbox.Root() + "\\victim.txt";
  const std::string besideFolder = sandbox.Root() + "\\Other";
  const std::string atRoot = "C:\\KorvikOutsideVictim.txt";
  DeleteFileA(atRoot.c_str());
  ASSERT_TRUE(test::WriteWholeFile(beside, "victim"));
  test::MakeFolders(besideFolder);
  ASSERT_TRUE(test::WriteWholeFile(besideFolder + "\\x.txt", "victim"));
  ASSERT_TRUE(test::WriteWholeFile(atRoot, "victim"));
  std::string list = sandbox.ReadFile("Uninstall.lst");
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst",
                                "..\\victim.txt\r\n"
                                "..\\Other\\x.txt\r\n"
                                "..\\Other\r\n"
                                "..\r\n"
                                "Docs\\..\\..\\victim.txt\r\n"
                                "Formats/../../Other/x.txt\r\n"
                                "..\\..\\..\\KorvikOutsideVictim.txt\r\n"
                                "C:\\KorvikOutsideVictim.txt\r\n"
                                "C:..\\victim.txt\r\n"
                                "\\KorvikOutsideVictim.txt\r\n"
                                "/KorvikOutsideVictim.txt\r\n"
                                "\\\\?\\C:\\KorvikOutsideVictim.txt\r\n" +
                                    list));
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox, "/s")));
  ExpectEndsQuietly(process);
  EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
  EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
  EXPECT_EQ("victim", test::ReadWholeFile(beside));
  EXPECT_EQ("victim", test::ReadWholeFile(besideFolder + "\\x.txt"));
  EXPECT_EQ("victim", test::ReadWholeFile(atRoot));
  EXPECT_TRUE(DeleteFileA(atRoot.c_str()));
}

TEST(SelfRemovalEndToEnd, BatchFileThatCannotBeWrittenLeavesTheProgram) {
  Sandbox sandbox("uninstall-nobatch");
  Install(sandbox);
  driver::StartOptions options = UninstallOptions(sandbox, "/s");
  // A temporary folder that does not exist.
  options.setEnv = {"TEMP=" + sandbox.Root() + "\\none", "TMP=" + sandbox.Root() + "\\none"};
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, options));
  ExpectEndsQuietly(process);
  ASSERT_TRUE(sandbox.WaitUntilAllEnded());  // nothing left that could remove it
  EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
  EXPECT_FALSE(sandbox.Exists("Korvik.exe"));
  EXPECT_FALSE(Exists(sandbox.Root() + "\\none"));
}

TEST(SelfRemovalEndToEnd, ProgramAtADriveRootRemovesItselfAndLeavesTheRoot) {
  Sandbox sandbox("uninstall-root");
  Install(sandbox);
  ScopedDrive drive(sandbox.Folder());
  const std::string root = drive.Root();
  ASSERT_FALSE(root.empty()) << "no drive letter could be made";
  std::string interpreter = e2e::InterpreterStandIn(sandbox);

  // First with the stand-in, to see the batch file; then for real.
  for (bool real : {false, true}) {
    SCOPED_TRACE(real ? "command interpreter" : "stand-in");
    // A drive's root holds more than the installation. (Windows never
    // removes a root; Wine removes the folder a drive letter stands for once
    // it is empty, here the emptied installation folder.)
    if (real) {
      Install(sandbox);
      ASSERT_TRUE(sandbox.WriteFile("user.txt", "not listed"));
    }
    DeleteFileA(BatchPath(sandbox).c_str());
    driver::StartOptions options = UninstallOptions(sandbox, "/s");
    options.exe = root + "uninstall.exe";
    options.workDir = root;
    if (!real) options.setEnv.push_back("COMSPEC=" + interpreter);
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, options));
    ExpectEndsQuietly(process);
    EXPECT_FALSE(Exists(root + "Korvik.exe"));
    if (!real) {
      Started started = ReadStarted(sandbox);
      EXPECT_EQ(sandbox.TempFolder(), started.folder);
      EXPECT_EQ(ExpectedBatch(root + "uninstall.exe", root, BatchPath(sandbox), true),
                test::ReadWholeFile(BatchPath(sandbox)));
      ASSERT_TRUE(sandbox.CopyIn(e2e::BuiltProgram(), "uninstall.exe"));
      ASSERT_TRUE(sandbox.CopyIn(e2e::BuiltStandIn(), "Korvik.exe"));
    } else {
      EXPECT_TRUE(test::WaitForPath(root + "uninstall.exe", false, kRemovalTimeoutMs));
      EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
      EXPECT_EQ("not listed", test::ReadWholeFile(root + "user.txt"));
    }
  }
}

TEST(UninstallTest, ProgramFileThatCannotBeDeletedBringsTheLeftoverWarning) {
  Sandbox sandbox("uninstall-leftover");
  Install(sandbox);
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox, "/s")));
  HeldFile held(sandbox.ProgramPath());  // still runs, and runs again
  ASSERT_TRUE(held.Held());
  ExpectEndsQuietly(process);

  // Shown by a third instance, which the batch file starts.
  HWND box = sandbox.WaitForMessageBox(test::Acp("卸载 Korvik"), kRemovalTimeoutMs);
  ASSERT_NE(nullptr, box) << "no leftover warning";
  Box warning = Read(box);
  EXPECT_EQ(test::Acp("卸载已经完成\n你应该手动删除 ") + sandbox.ProgramPath(), warning.text)
      << test::Utf8(warning.text);
  EXPECT_TRUE(Exists(BatchPath(sandbox)));  // the batch file waits for the warning
  ASSERT_TRUE(driver::Press(box, IDOK));
  EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
  EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
  EXPECT_FALSE(sandbox.Exists("Korvik.exe"));
}

// A tree outside the installation that hostile entries aim at, and what
// it held: every sentinel must survive a run.
struct Sentinels {
  std::string outside;  // files, one read-only, and a folder
  std::string empty;    // an empty folder: Wine removes it through a link
  std::vector<std::string> files;
};

Sentinels MakeSentinels(const Sandbox& sandbox) {
  Sentinels sentinels{sandbox.Root() + "\\outside", sandbox.Root() + "\\empty", {}};
  test::MakeFolders(sentinels.outside + "\\sub");
  test::MakeFolders(sentinels.empty);
  sentinels.files = {sentinels.outside + "\\victim.txt", sentinels.outside + "\\sub\\deep.txt",
                     sandbox.Root() + "\\victim.txt"};
  for (const std::string& file : sentinels.files) EXPECT_TRUE(test::WriteWholeFile(file, "victim"));
  EXPECT_TRUE(SetFileAttributesA(sentinels.files[0].c_str(), FILE_ATTRIBUTE_READONLY));
  return sentinels;
}

void ExpectSentinelsSurvive(const Sentinels& sentinels) {
  for (const std::string& file : sentinels.files)
    EXPECT_EQ("victim", test::ReadWholeFile(file)) << file;
  EXPECT_TRUE(GetFileAttributesA(sentinels.files[0].c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(Exists(sentinels.empty));
  SetFileAttributesA(sentinels.files[0].c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(UninstallTest, LinkDeviceAndOutsideEntriesLeaveEverySentinelAndAskNothing) {
  Sandbox sandbox("uninstall-hostile");
  Install(sandbox);
  Sentinels sentinels = MakeSentinels(sandbox);
  ASSERT_TRUE(test::MakeFolderLink(sandbox.Path("linkdir"), sentinels.outside));
  ASSERT_TRUE(test::MakeFolderLink(sandbox.Path("Formats\\inner"), sentinels.outside));
  ASSERT_TRUE(test::MakeFolderLink(sandbox.Path("emptylink"), sentinels.empty));
  const char* entries[] = {
      // Through a link, and links themselves.
      "linkdir\\victim.txt",
      "linkdir\\sub\\deep.txt",
      "linkdir\\sub",
      "Formats\\inner\\victim.txt",
      "Formats/inner/sub/deep.txt",
      "Formats\\inner",
      "linkdir",
      "emptylink",
      // A device below a folder of the installation.
      "Formats\\nul",
      // Outside the folder.
      "..\\victim.txt",
      "..\\outside\\sub\\deep.txt",
      "Docs\\..\\..\\victim.txt",
  };
  std::string list = test::ListLines(entries) + test::ListLines(test::kDeviceEntries);
  for (int i = 0; i < 200; ++i) list += "NUL\r\n";  // each once took a second
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", list + sandbox.ReadFile("Uninstall.lst")));
  test::ScopedPendingRenames pending;
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox, "/s")));
  ExpectEndsQuietly(process);
  EXPECT_TRUE(pending.AddedDeletions().empty());
  EXPECT_FALSE(sandbox.Exists("Docs"));
  EXPECT_FALSE(sandbox.Exists("Formats\\arj.fmt"));
  EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
  ExpectSentinelsSurvive(sentinels);
  // Before their folders go: a link left dangling cannot be found again.
  for (const char* link : {"linkdir", "Formats\\inner", "emptylink"}) {
    test::RemoveFolderLink(sandbox.Path(link));
  }
}

TEST(UninstallTest, RunThatEndedAfterItsListIsFinishedWhenOnlyTheProgramIsLeft) {
  struct Row {
    const char* also;  // beside the program, or none
    bool finished;
  };
  const Row rows[] = {
      {nullptr, true},     {"orvext.dll.0.tmp", true},  // moved aside by that run
      {"user.txt", false}, {"Docs\\", false},          {"orvext.dll.tmp", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.also ? row.also : "nothing");
    Sandbox sandbox("uninstall-ended");
    ASSERT_TRUE(DeleteFileA(sandbox.Path("Korvik.exe").c_str()));
    if (row.also && row.also[std::strlen(row.also) - 1] == '\\') {
      test::MakeFolders(sandbox.Path(row.also));
    } else if (row.also) {
      ASSERT_TRUE(sandbox.WriteFile(row.also, "left"));
    }
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, UninstallOptions(sandbox, "/s")));
    if (row.finished) {
      ExpectEndsQuietly(process);
      EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
      EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
      EXPECT_EQ(row.also == nullptr, !Exists(sandbox.Folder()));
      continue;
    }
    HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
    ASSERT_NE(nullptr, box) << "no message";
    EXPECT_EQ(test::Acp("无法打开列表文件 Uninstall.lst"), driver::MessageBoxText(box));
    ASSERT_TRUE(driver::Press(box, IDOK));
    ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
    ExpectEndsQuietly(process);
    EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
    EXPECT_FALSE(Exists(BatchPath(sandbox)));
  }
}

TEST(UninstallTest, FileThatCannotBeScheduledIsNamedInTheLeftoverWarning) {
  Sandbox sandbox("uninstall-unscheduled");
  Install(sandbox);
  ASSERT_TRUE(sandbox.CopyIn(e2e::BuiltFaultyProgram(), "uninstall.exe"));
  ASSERT_TRUE(sandbox.WriteFile("Data\\held.dat", "held"));
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst",
                                "Data\\held.dat\nData\n" + sandbox.ReadFile("Uninstall.lst")));
  HeldFile held(sandbox.Path("Data\\held.dat"));
  ASSERT_TRUE(held.Held());
  test::ScopedPendingRenames pending;
  driver::StartOptions options = UninstallOptions(sandbox, "/s");
  options.setEnv.push_back("KORVIK_TEST_DENY_WRITES=RESTART");
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, options));
  // No restart notice: the restart would not remove it.
  HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
  ASSERT_NE(nullptr, box) << "no leftover warning";
  Box warning = Read(box);
  EXPECT_EQ(test::Acp("卸载 Korvik"), warning.caption);
  EXPECT_EQ(test::Acp("卸载已经完成\n你应该手动删除 ") + sandbox.Path("Data\\held.dat"),
            warning.text)
      << test::Utf8(warning.text);
  EXPECT_EQ(driver::Icon::Information, warning.icon) << driver::IconName(warning.icon);
  ASSERT_TRUE(driver::Press(box, IDOK));
  ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
  ExpectEndsQuietly(process);
  EXPECT_TRUE(pending.AddedDeletions().empty());
  EXPECT_TRUE(test::WaitForPath(sandbox.ProgramPath(), false, kRemovalTimeoutMs));
}

// Paths that the command interpreter would read otherwise than they stand:
// a '%' (dropped, or opening a variable), a temporary folder with ( ) & ^ @
// and a blank (the quotes of "/c" stripped) or a '%' and a '!', and in a western locale
// (ANSI 1252, OEM 850) characters whose two codes differ or that the OEM
// code page lacks. The program and its folder go, and nothing beside them;
// where no form of a path can be written the program stays and says so.
// Rows for another code page are skipped; tests/e2e/western_locale.sh runs
// this test again in the western locale.
TEST(SelfRemovalEndToEnd, BatchFileNamesAwkwardPathsAsTheyStandAndRemovesNothingElse) {
  if (const char* expected = std::getenv("KORVIK_EXPECT_CODE_PAGE")) {
    ASSERT_EQ(static_cast<UINT>(std::atoi(expected)), GetACP());
  }
  struct Row {
    UINT codePage;        // 0 for any
    const char* install;  // UTF-8, the installation folder's name
    const char* temp;     // UTF-8, the temporary folder below the sandbox root
    const char* decoy;    // a folder beside the installation the batch file must not touch
    bool removed;         // else the program stays and the leftover warning shows
  };
  const Row rows[] = {
      {0, "A%B", "temp", "AB", true},
      {0, "K%KORVIKVAR%B", "temp", "KotherB", true},
      {0, "K%none% (y)", "t&m^p @(x)", "K (y)", true},
      {0, "Korvik", "temp (x)", nullptr, true},
      // A defined variable in the temporary folder's path: cmd would look
      // for the batch file in "tother".
      {0, "Korvik", "t%KORVIKVAR%", "tother", true},
      // Delayed expansion would read "!KORVIKBANG!" as a variable.
      {0, "Games!KORVIKBANG!", "t%none%!KORVIKBANG!", "Gamesother", true},
      {1252, "Korvik ä", "temp ä", nullptr, true},    // in the OEM code page
      {1252, "Korvik Š", "temp Š", nullptr, true},    // by the short forms
      {1252, "Korvik", "missing Š", nullptr, false},  // no short form either
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.install) + " | " + row.temp);
    if (row.codePage != 0 && row.codePage != GetACP()) continue;
    Sandbox sandbox("uninstall-awkward", test::Acp(row.install));
    Install(sandbox);
    const std::string decoy = row.decoy ? sandbox.Root() + "\\" + row.decoy : std::string();
    if (row.decoy) {
      test::MakeFolders(decoy);
      ASSERT_TRUE(test::WriteWholeFile(decoy + "\\uninstall.exe", "decoy"));
    }
    const std::string temp = sandbox.Root() + "\\" + test::Acp(row.temp);
    driver::StartOptions options = UninstallOptions(sandbox, "/s");
    if (row.removed) test::MakeFolders(temp);
    options.setEnv = {"TEMP=" + temp, "TMP=" + temp, "KORVIKVAR=other", "KORVIKBANG=other"};
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, options));
    if (row.removed) {
      ExpectEndsQuietly(process);
      EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
      EXPECT_TRUE(test::WaitForPath(temp + "\\" + kBatchName, false, kRemovalTimeoutMs));
    } else {
      HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
      ASSERT_NE(nullptr, box) << "no leftover warning";
      EXPECT_EQ(test::Acp("卸载已经完成\n你应该手动删除 ") + sandbox.ProgramPath(),
                driver::MessageBoxText(box));
      ASSERT_TRUE(driver::Press(box, IDOK));
      ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
      ExpectEndsQuietly(process);
      EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
      EXPECT_FALSE(sandbox.Exists("Korvik.exe"));
    }
    if (row.decoy) {
      EXPECT_EQ("decoy", test::ReadWholeFile(decoy + "\\uninstall.exe"));
    }
    EXPECT_TRUE(Exists(sandbox.Root()));
  }
}

// The list of installed programs starts the registered command as it
// stands: the quoted path, or an unquoted one as an entry of an earlier
// version may hold, where a '-' after a blank in the folder must not count
// as a switch. Deployment tools start the quiet command, which asks nothing.
TEST(SelfRemovalEndToEnd, EntryOfTheListOfInstalledProgramsStartsTheUninstallQuotedOrNot) {
  enum class Command { Quoted, Unquoted, Quiet };
  for (Command command : {Command::Quoted, Command::Unquoted, Command::Quiet}) {
    SCOPED_TRACE(command == Command::Quoted     ? "quoted"
                 : command == Command::Unquoted ? "unquoted"
                                                : "quiet");
    Sandbox sandbox("Program Files", "Korvik-7");
    Install(sandbox);
    driver::StartOptions options = UninstallOptions(sandbox);
    options.exe.clear();
    const std::string quoted = "\"" + sandbox.ProgramPath() + "\"";
    options.rawCommandLine = command == Command::Quoted     ? quoted
                             : command == Command::Unquoted ? sandbox.ProgramPath()
                                                            : quoted + " /quiet";
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, options));
    if (command != Command::Quiet) AnswerQuestion(process, IDYES);
    ExpectEndsQuietly(process);
    EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
    EXPECT_TRUE(test::WaitForPath(BatchPath(sandbox), false, kRemovalTimeoutMs));
  }
}

// What the plain silent switch shows, the quiet one never shows: not the
// restart notice (a file held open without sharing), not the leftover
// warning of the run or of the instance the batch file starts, not message
// 5108. The quiet run ends by itself, takes every message's default answer
// and schedules what the silent one schedules.
TEST(UninstallTest, QuietRunShowsNoWindowWhereTheSilentOneShowsItsMessage) {
  enum class Case { HeldFile, HeldProgram, NoList, Unschedulable };
  struct Row {
    const char* name;
    Case situation;
    std::string message;  // what the silent run shows
    bool selfRemoval;     // a batch file is started
  };
  const std::string leftover = test::Acp("卸载已经完成\n你应该手动删除 ");
  const Row rows[] = {
      {"held file", Case::HeldFile, test::Acp("你必须重新启动 Windows 才能完全卸载 Korvik。"),
       true},
      {"held program", Case::HeldProgram, leftover + "uninstall.exe", true},
      {"no list", Case::NoList, test::Acp("无法打开列表文件 Uninstall.lst"), false},
      {"unschedulable", Case::Unschedulable, leftover + "Data\\held.dat", true},
  };
  for (const Row& row : rows) {
    std::vector<std::string> scheduled[2];
    for (bool quiet : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (quiet ? ", quiet" : ", silent"));
      Sandbox sandbox("uninstall-quiet");
      Install(sandbox);
      std::string message = row.message;
      if (message.compare(0, leftover.size(), leftover) == 0) {
        message = leftover + sandbox.Path(message.substr(leftover.size()));
      }
      driver::StartOptions options = UninstallOptions(sandbox, quiet ? "/quiet" : "/S");
      if (row.situation == Case::NoList) {
        ASSERT_TRUE(DeleteFileA(sandbox.Path("Uninstall.lst").c_str()));
      }
      if (row.situation == Case::Unschedulable) {
        ASSERT_TRUE(sandbox.CopyIn(e2e::BuiltFaultyProgram(), "uninstall.exe"));
        options.setEnv.push_back("KORVIK_TEST_DENY_WRITES=RESTART");
      }
      bool holdsData = row.situation == Case::HeldFile || row.situation == Case::Unschedulable;
      if (holdsData) {
        ASSERT_TRUE(sandbox.WriteFile("Data\\held.dat", "held"));
        ASSERT_TRUE(sandbox.WriteFile(
            "Uninstall.lst", "Data\\held.dat\nData\n" + sandbox.ReadFile("Uninstall.lst")));
      }
      HeldFile heldData(sandbox.Path("Data\\held.dat"));
      ASSERT_EQ(holdsData, heldData.Held());
      test::ScopedPendingRenames pending;
      driver::Process process;
      ASSERT_TRUE(driver::Start(process, options));
      // The program file is held once the program runs from it.
      std::unique_ptr<HeldFile> heldProgram;
      if (row.situation == Case::HeldProgram) {
        heldProgram = std::make_unique<HeldFile>(sandbox.ProgramPath());
        ASSERT_TRUE(heldProgram->Held());
      }

      if (!quiet) {
        HWND box = sandbox.WaitForMessageBox(test::Acp("卸载 Korvik"), kRemovalTimeoutMs);
        ASSERT_NE(nullptr, box) << "no message";
        EXPECT_EQ(message, driver::MessageBoxText(box)) << test::Utf8(driver::MessageBoxText(box));
        ASSERT_TRUE(driver::Press(box, IDOK));
        ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
      }
      EXPECT_EQ(
          std::vector<std::string>{},
          e2e::DialogsShownUntilDone(sandbox, process, row.selfRemoval ? BatchPath(sandbox) : ""));
      DWORD code = 1;
      EXPECT_TRUE(driver::WaitForExit(process, 0, &code));
      EXPECT_EQ(0u, code);

      scheduled[quiet] = pending.AddedDeletions();
      EXPECT_EQ(
          row.situation == Case::HeldFile,
          !scheduled[quiet].empty() && scheduled[quiet].front() == sandbox.Path("Data\\held.dat"));
      EXPECT_EQ(row.situation != Case::NoList, !sandbox.Exists("Korvik.exe"));
      EXPECT_EQ(row.situation != Case::HeldProgram && row.situation != Case::NoList,
                !sandbox.Exists("uninstall.exe"));
      EXPECT_EQ(holdsData, sandbox.Exists("Data\\held.dat"));
      EXPECT_FALSE(Exists(BatchPath(sandbox)));
    }
    EXPECT_EQ(scheduled[0], scheduled[1]) << row.name;
  }
}

}  // namespace
