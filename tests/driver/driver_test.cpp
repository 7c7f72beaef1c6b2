// The driver against a real message box and dialog (box.exe beside this
// test), and its two pure helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "box_ids.h"
#include "driver.h"

namespace {

constexpr DWORD kWaitMs = 10000;

std::string BoxPath() {
  char self[MAX_PATH] = "garbage";
  DWORD got = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (got == 0 || got >= MAX_PATH) return std::string();
  std::string path(self);
  return path.substr(0, path.find_last_of('\\') + 1) + "box.exe";
}

driver::StartOptions Box(const std::string& args) {
  driver::StartOptions options;
  options.exe = BoxPath();
  options.args = args;
  return options;
}

template <typename Condition>
bool Eventually(Condition condition) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= kWaitMs) return false;
    Sleep(driver::kPollMs);
  }
  return true;
}

constexpr DWORD kNoExit = 0xBDBDBDBD;

// kNoExit if the program did not end in time; compared where it is called,
// so that a failure names the line of the case.
DWORD ExitCodeOf(const driver::Process& process) {
  DWORD code = kNoExit;
  driver::WaitForExit(process, kWaitMs, &code);
  return code;
}

// What box.exe shows in its message box when started so, or what went wrong.
std::string ShownBy(const driver::StartOptions& options) {
  driver::Process process;
  if (!driver::Start(process, options)) return "(not started)";
  HWND box = driver::WaitForDialog(process, kWaitMs);
  if (!box) return "(no box)";
  std::string text = driver::MessageBoxText(box);
  if (!driver::Press(box, IDOK)) return "(OK not pressed)";
  if (ExitCodeOf(process) != DWORD(IDOK)) return "(not answered OK)";
  return text;
}

HANDLE OpenChildBox(const driver::Process& parent) {
  std::string caption = std::string(kBoxChildCaption) + " " + std::to_string(parent.Id());
  HWND child = nullptr;
  if (!Eventually([&] { return (child = FindWindowA("#32770", caption.c_str())) != nullptr; }))
    return nullptr;
  DWORD pid = 0;
  GetWindowThreadProcessId(child, &pid);
  return OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid);
}

std::vector<std::wstring> Entries(const std::wstring& block) {
  std::vector<std::wstring> entries;
  EXPECT_GE(block.size(), 2u);
  EXPECT_EQ(std::wstring(2, L'\0'), block.substr(block.size() - 2));
  for (std::size_t at = 0; at < block.size() && block[at]; at += entries.back().size() + 1)
    entries.push_back(block.c_str() + at);
  return entries;
}

TEST(DriverMessageBox, ReadsWhatItShowsAndAnswersIt) {
  struct Row {
    UINT flags;
    int press;
    driver::Icon icon;
  };
  const Row rows[] = {
      {MB_YESNO | MB_ICONQUESTION, IDYES, driver::Icon::Question},
      {MB_YESNO | MB_ICONQUESTION, IDNO, driver::Icon::Question},
      {MB_OK | MB_ICONERROR, IDOK, driver::Icon::Error},
      {MB_OKCANCEL | MB_ICONWARNING, IDCANCEL, driver::Icon::Warning},
      {MB_OK | MB_ICONINFORMATION, IDOK, driver::Icon::Information},
      {MB_RETRYCANCEL, IDRETRY, driver::Icon::None},
  };
  int n = 0;
  for (const Row& row : rows) {
    std::string caption = "Caption " + std::to_string(++n);
    std::string text = "First line\nsecond line " + std::to_string(n);
    SCOPED_TRACE(caption);
    driver::Process process;
    ASSERT_TRUE(
        driver::Start(process, Box(driver::QuoteArgument(caption) + " " +
                                   driver::QuoteArgument(text) + " " + std::to_string(row.flags))));
    HWND box = driver::WaitForDialog(process, kWaitMs);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(1u, driver::Dialogs(process).size());
    EXPECT_EQ(caption, driver::WindowText(box));
    EXPECT_EQ(text, driver::MessageBoxText(box));
    EXPECT_STREQ(driver::IconName(row.icon), driver::IconName(driver::MessageBoxIcon(box)));
    EXPECT_TRUE(driver::Press(box, row.press));
    EXPECT_EQ(DWORD(row.press), ExitCodeOf(process));
  }
}

TEST(DriverMessageBox, PressRefusesButtonsTheBoxHasNot) {
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, Box("Cap Text " + std::to_string(MB_YESNO))));
  HWND box = driver::WaitForDialog(process, kWaitMs);
  ASSERT_NE(nullptr, box);
  EXPECT_FALSE(driver::Press(box, IDOK));
  EXPECT_FALSE(driver::Press(box, IDCANCEL));
  EXPECT_FALSE(driver::Press(box, 0xFFFF));  // the text: a static, not a button
  // A click sent by a refused press would be handled before this one.
  EXPECT_TRUE(driver::Press(box, IDNO));
  EXPECT_EQ(DWORD(IDNO), ExitCodeOf(process));
}

TEST(DriverMessageBox, CloseAnswersCancel) {
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, Box("Cap Text " + std::to_string(MB_OKCANCEL))));
  HWND box = driver::WaitForDialog(process, kWaitMs);
  ASSERT_NE(nullptr, box);
  EXPECT_TRUE(driver::Close(box));
  EXPECT_EQ(DWORD(IDCANCEL), ExitCodeOf(process));
}

TEST(DriverWait, FindsADialogByItsCaptionOnly) {
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, Box("Wanted Text 0")));
  HWND box = driver::WaitForDialog(process, "Wanted", kWaitMs);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("Wanted", driver::WindowText(box));
  EXPECT_EQ(nullptr, driver::WaitForDialog(process, "Other", 0));
}

TEST(DriverWait, GivesUpAsSoonAsTheProgramEnds) {
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, Box("too few")));
  // With no time limit only the program's end ends the wait.
  EXPECT_EQ(nullptr, driver::WaitForDialog(process, INFINITE));
  EXPECT_FALSE(process.Running());
  EXPECT_EQ(99u, ExitCodeOf(process));
}

TEST(DriverDialog, ReadsAndWorksItsControls) {
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, Box("--dialog")));
  HWND dialog = driver::WaitForDialog(process, kWaitMs);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ("Options", driver::WindowText(dialog));
  EXPECT_EQ("Choose:", driver::ItemText(dialog, kBoxLabel));
  EXPECT_EQ("initial", driver::ItemText(dialog, kBoxEdit));
  EXPECT_EQ(driver::Icon::None, driver::MessageBoxIcon(dialog));

  EXPECT_FALSE(driver::HasItem(dialog, 9999));
  EXPECT_EQ(-1, driver::CheckState(dialog, 9999));
  EXPECT_EQ("", driver::ItemText(dialog, 9999));
  EXPECT_TRUE(driver::ItemVisible(dialog, kBoxDisabled));
  EXPECT_FALSE(driver::ItemEnabled(dialog, kBoxDisabled));
  EXPECT_FALSE(driver::Press(dialog, kBoxDisabled));
  EXPECT_FALSE(driver::Press(dialog, kBoxEdit));

  EXPECT_EQ(BST_UNCHECKED, driver::CheckState(dialog, kBoxCheck));
  EXPECT_TRUE(driver::Press(dialog, kBoxCheck));
  EXPECT_TRUE(Eventually([&] { return driver::CheckState(dialog, kBoxCheck) == BST_CHECKED; }));

  // A box the dialog opens is what needs answering; its owner takes no
  // clicks meanwhile.
  EXPECT_TRUE(driver::Press(dialog, kBoxMore));
  HWND nested = driver::WaitForDialog(process, kBoxNestedCaption, kWaitMs);
  ASSERT_NE(nullptr, nested);
  EXPECT_TRUE(Eventually([&] { return !IsWindowEnabled(dialog); }));
  EXPECT_EQ(nested, driver::WaitForDialog(process, kWaitMs));
  EXPECT_EQ(2u, driver::Dialogs(process).size());
  EXPECT_FALSE(driver::Press(dialog, IDOK));
  EXPECT_EQ(kBoxNestedText, driver::MessageBoxText(nested));
  EXPECT_EQ(driver::Icon::Information, driver::MessageBoxIcon(nested));
  EXPECT_TRUE(driver::Press(nested, IDOK));
  EXPECT_TRUE(driver::WaitForClosed(nested, kWaitMs));

  EXPECT_TRUE(Eventually([&] { return driver::Press(dialog, IDOK); }));
  EXPECT_EQ(DWORD(kBoxDialogOk + 1), ExitCodeOf(process));
}

TEST(DriverStart, PassesEnvironmentFolderAndCommandLine) {
  SetEnvironmentVariableA("DRIVER_TEST_GONE", "still here");
  SetEnvironmentVariableA("DRIVER_TEST_OLD", "old");

  driver::StartOptions options = Box("--show-env DRIVER_TEST_NEW");
  options.setEnv = {"DRIVER_TEST_NEW=hello"};
  EXPECT_EQ("hello", ShownBy(options));

  options = Box("--show-env DRIVER_TEST_GONE");
  options.unsetEnv = {"driver_test_gone"};
  EXPECT_EQ("(unset)", ShownBy(options));

  options = Box("--show-env DRIVER_TEST_OLD");
  options.setEnv = {"Driver_Test_Old=new"};
  EXPECT_EQ("new", ShownBy(options));

  EXPECT_EQ("still here", ShownBy(Box("--show-env DRIVER_TEST_GONE")));

  char windows[MAX_PATH] = "garbage";
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  options = Box("--show-cwd");
  options.workDir = windows;
  EXPECT_EQ(windows, ShownBy(options));

  options = Box("--show-cmdline");
  EXPECT_EQ(driver::QuoteArgument(BoxPath()) + " --show-cmdline", ShownBy(options));

  SetEnvironmentVariableA("DRIVER_TEST_GONE", nullptr);
  SetEnvironmentVariableA("DRIVER_TEST_OLD", nullptr);
}

TEST(DriverStart, KeepsAnUnquotedCommandLineWithBlanksVerbatim) {
  char temp[MAX_PATH] = "garbage";
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  std::string folder = std::string(temp) + "driver test " + std::to_string(GetCurrentProcessId());
  std::string copy = folder + "\\box copy.exe";
  DeleteFileA(copy.c_str());
  RemoveDirectoryA(folder.c_str());
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(BoxPath().c_str(), copy.c_str(), TRUE));

  driver::StartOptions options;
  options.rawCommandLine = copy + " --show-cmdline";
  EXPECT_EQ(options.rawCommandLine, ShownBy(options));
  options.rawCommandLine = folder + "\\box copy --show-cmdline";  // ".exe" found as Windows would
  EXPECT_EQ(options.rawCommandLine, ShownBy(options));

  EXPECT_TRUE(DeleteFileA(copy.c_str()));
  EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
}

TEST(DriverProcess, KillEndsTheProgramAndItsChildren) {
  HANDLE child = nullptr;
  HANDLE parent = nullptr;
  {
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, Box("--spawn")));
    EXPECT_TRUE(process.InJob());
    ASSERT_NE(nullptr, driver::WaitForDialog(process, kBoxParentCaption, kWaitMs));
    child = OpenChildBox(process);
    ASSERT_NE(nullptr, child);
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), process.Handle(), GetCurrentProcess(), &parent,
                                0, FALSE, DUPLICATE_SAME_ACCESS));
    driver::Process moved = std::move(process);
    EXPECT_FALSE(process.Started());
    EXPECT_TRUE(moved.Running());
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(parent, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(parent, &code));
  EXPECT_EQ(driver::kKilledExitCode, code);
  CloseHandle(parent);
  CloseHandle(child);
}

TEST(DriverProcess, KeepChildrenLetsThemOutliveTheProgram) {
  driver::Process process;
  driver::StartOptions options = Box("--spawn");
  options.keepChildren = true;
  ASSERT_TRUE(driver::Start(process, options));
  const DWORD parentId = process.Id();
  ASSERT_NE(nullptr, driver::WaitForDialog(process, kBoxParentCaption, kWaitMs));
  HANDLE child = OpenChildBox(process);
  ASSERT_NE(nullptr, child);
  process.Kill();
  EXPECT_FALSE(process.Running());
  // Still there, and answering.
  std::string caption = std::string(kBoxChildCaption) + " " + std::to_string(parentId);
  EXPECT_TRUE(
      Eventually([&] { return driver::Press(FindWindowA("#32770", caption.c_str()), IDOK); }));
  DWORD code = kNoExit;
  if (WaitForSingleObject(child, kWaitMs) != WAIT_OBJECT_0) TerminateProcess(child, 0);
  GetExitCodeProcess(child, &code);
  EXPECT_EQ(DWORD(IDOK), code);
  CloseHandle(child);
}

TEST(DriverJob, HoldsTheProgramsChildrenUntilItIsClosed) {
  HANDLE child = nullptr;
  {
    driver::Job job;
    driver::Process process;
    driver::StartOptions options = Box("--spawn");
    options.job = &job;
    ASSERT_TRUE(driver::Start(process, options));
    ASSERT_NE(nullptr, driver::WaitForDialog(process, kBoxParentCaption, kWaitMs));
    child = OpenChildBox(process);
    ASSERT_NE(nullptr, child);
    EXPECT_TRUE(Eventually([&] { return driver::Dialogs(job).size() == 2; }));
    EXPECT_EQ(2u, job.ProcessIds().size());
    process.Kill();
    EXPECT_FALSE(process.Running());
    EXPECT_EQ(std::vector<DWORD>{GetProcessId(child)}, job.ProcessIds());
    EXPECT_EQ(1u, driver::Dialogs(job).size());
    EXPECT_FALSE(job.WaitUntilEmpty(0));
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(child, &code));
  EXPECT_EQ(driver::kKilledExitCode, code);
  CloseHandle(child);
}

TEST(DriverQuoteArgument, SurvivesTheRuntimesSplitting) {
  struct Row {
    const char* arg;
    const char* quoted;
  };
  const Row rows[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"tab\there", "\"tab\there\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\dir\\", "C:\\dir\\"},
      {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
      {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arg);
    EXPECT_EQ(row.quoted, driver::QuoteArgument(row.arg));
  }
}

TEST(DriverQuoteArgument, TakesNoTrailByteForABackslash) {
  if (!IsDBCSLeadByte(0x81)) GTEST_SKIP() << "needs a double-byte ANSI code page";
  EXPECT_EQ("\"a \x81\x5c\"", driver::QuoteArgument("a \x81\x5c"));
  EXPECT_EQ("\"a \x81\x5c\\\"\"", driver::QuoteArgument("a \x81\x5c\""));
}

TEST(DriverEnvironment, AppliesChangesAndSortsWithoutRegardToCase) {
  const wchar_t current[] = L"=C:=C:\\x\0Beta=2\0alpha=1\0PATH=p\0\0";
  struct Row {
    const char* what;
    std::vector<std::string> set, unset;
    std::vector<std::wstring> expected;
  };
  const Row rows[] = {
      {"unchanged", {}, {}, {L"=C:=C:\\x", L"alpha=1", L"Beta=2", L"PATH=p"}},
      {"removed, any case", {}, {"path", "NOSUCH"}, {L"=C:=C:\\x", L"alpha=1", L"Beta=2"}},
      {"replaced, any case", {"BETA=3"}, {}, {L"=C:=C:\\x", L"alpha=1", L"BETA=3", L"PATH=p"}},
      {"added in order",
       {"Gamma=g", "EMPTY"},
       {},
       {L"=C:=C:\\x", L"alpha=1", L"Beta=2", L"EMPTY=", L"Gamma=g", L"PATH=p"}},
      {"upper case decides",
       {"a_b=1", "AZ=2", "ab=3"},
       {"alpha", "beta", "path", "=C:"},
       {L"ab=3", L"AZ=2", L"a_b=1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.expected, Entries(driver::BuildEnvironment(current, row.set, row.unset)));
  }
  EXPECT_EQ(std::wstring(2, L'\0'), driver::BuildEnvironment(L"\0", {}, {}));
}

}  // namespace
