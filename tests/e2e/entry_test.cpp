// The entry routine end to end: the auxiliary switches, the leftover
// warning and its texts, the exit code.
#include <gtest/gtest.h>

#include <string>

#include "e2e/sandbox.h"
#include "support/test_support.h"

namespace {

using e2e::RunWarning;
using e2e::Sandbox;
using e2e::Warning;

// The system's own record of the process's life, from its creation to its
// end, in milliseconds.
unsigned long long Lifetime(const driver::Process& process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process.Handle(), &created, &ended, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return (ticks(ended) - ticks(created)) / 10000;
}

// A busy machine only lengthens a life, so the lower bound holds; the
// upper one is a pause ten times too long, which only a fault reaches.
TEST(EntryTest, WaitPausesTwoSecondsAndShowsNothing) {
  Sandbox sandbox("wait");
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, sandbox.Options("/wait")));
  e2e::ExpectEndsQuietly(process);
  EXPECT_GE(Lifetime(process), 1900u);
  EXPECT_LT(Lifetime(process), 20000u);
  EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
}

TEST(EntryTest, WarningNamesTheProgramFile) {
  Sandbox sandbox("warning", "Korvik Archiver");
  Warning seen = RunWarning(sandbox);
  EXPECT_EQ(test::Acp("卸载 Korvik"), seen.caption) << test::Utf8(seen.caption);
  EXPECT_EQ(test::Acp("卸载已经完成\n你应该手动删除 ") + sandbox.ProgramPath(), seen.text)
      << test::Utf8(seen.text);
  EXPECT_EQ(driver::Icon::Information, seen.icon) << driver::IconName(seen.icon);
}

TEST(EntryTest, WarningTakesItsTextsFromTheLanguageLibrary) {
  struct Row {
    const char* library;
    std::string expectedSecondLine;  // the path follows where %s stands
  };
  const Row rows[] = {
      {"translated", "Please delete %s by hand (100% sure)"},
      // A format with conversions the program never passes is not used.
      {"badformat", test::Acp("你应该手动删除 %s")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.library);
    Sandbox sandbox(std::string("library-") + row.library);
    ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary(row.library), "orvlng.dll"));
    Warning seen = RunWarning(sandbox);
    std::string second = row.expectedSecondLine;
    second.replace(second.find("%s"), 2, sandbox.ProgramPath());
    EXPECT_EQ("Uninstall Korvik", seen.caption);
    EXPECT_EQ("Uninstall finished\n" + second, seen.text) << test::Utf8(seen.text);
  }
}

TEST(EntryTest, WarningWithTheLongestProgramPathTheSystemAllows) {
  // A folder chain that makes the program path 259 bytes long, the most
  // that the file functions take without the long-path prefix.
  std::string chain;
  while (chain.size() < 200) chain += (chain.empty() ? "" : "\\") + std::string(40, 'd');
  std::string prefix = "C:\\KorvikTests\\longpath\\";
  chain += "\\" + std::string(259 - prefix.size() - chain.size() - 15, 'e');
  Sandbox sandbox("longpath", chain);
  ASSERT_EQ(259u, sandbox.ProgramPath().size());
  ASSERT_TRUE(sandbox.Exists("uninstall.exe")) << "the file system refused the long path";
  Warning seen = RunWarning(sandbox);
  EXPECT_EQ(test::Acp("卸载已经完成\n你应该手动删除 ") + sandbox.ProgramPath(), seen.text);
}

TEST(EntryTest, EveryStartEndsWithExitCodeZero) {
  const char* commandLines[] = {"/x", "/clean", "-", "/wait/warning/clean"};
  for (const char* args : commandLines) {
    SCOPED_TRACE(args);
    Sandbox sandbox("exitcode");
    driver::Process process;
    ASSERT_TRUE(driver::Start(process, sandbox.Options(args)));
    // Answer whatever message appears, as a user would.
    while (HWND box = driver::WaitForDialog(process, 5000)) {
      driver::Press(box, IDOK);
      driver::WaitForClosed(box, e2e::kDialogTimeoutMs);
    }
    DWORD code = 1;
    ASSERT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
  }
}

}  // namespace
