#include "platform/process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/text.h"
#include "support/test_support.h"

namespace {

constexpr char kFolder[] = "C:\\KorvikTests\\process";

std::string Interpreter() {
  char path[MAX_PATH];
  GetSystemDirectoryA(path, sizeof path);
  return std::string(path) + "\\cmd.exe";
}

class ProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    test::RemoveTree(kFolder);
    test::MakeFolders(kFolder);
  }
  void TearDown() override { test::RemoveTree(kFolder); }
};

// The command writes its file only once the test lets it, after the call
// has returned: a call that waited for it would find the file never made.
TEST_F(ProcessTest, StartsTheCommandWithoutWaitingForIt) {
  const char kGate[] = "KorvikTestsProcessGate";
  HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, kGate);
  ASSERT_NE(nullptr, gate);
  std::string marker = std::string(kFolder) + "\\started.txt";
  std::string command =
      "\"" + test::ExeFolder() + "\\helpers\\probe.exe\" gate " + kGate + " " + marker;
  ASSERT_TRUE(StartInBackground(command.c_str()));
  EXPECT_FALSE(test::Exists(marker));
  SetEvent(gate);
  EXPECT_TRUE(test::WaitForPath(marker, true, test::kWaitMs));
  CloseHandle(gate);
}

TEST_F(ProcessTest, BothFamiliesStartTheCommand) {
  struct Row {
    const char* version;
  };
  const Row rows[] = {{"win7"}, {"win98"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    test::ScopedWindowsVersion version("probe.exe", row.version);
    std::string marker = std::string(kFolder) + "\\" + row.version + ".txt";
    // One argument for the probe: the marker's path holds no blank.
    std::string command = Interpreter() + " /c echo started>" + marker;
    std::string probe = "\"" + test::ExeFolder() + "\\helpers\\probe.exe\" background";
    EXPECT_EQ(1, test::RunAndWait(probe + " \"" + command + "\""));
    EXPECT_TRUE(test::WaitForPath(marker, true, test::kWaitMs));
  }
}

TEST_F(ProcessTest, NothingToStartGivesFalse) {
  EXPECT_FALSE(StartInBackground("C:\\KorvikTests\\process\\no such program.exe"));
  EXPECT_FALSE(StartInBackground(""));
  std::string tooLong = Interpreter() + " /c rem " + std::string(4000, 'x');
  EXPECT_FALSE(StartInBackground(tooLong.c_str()));
}

TEST(SystemInterpreterTest, NtFamilyTakesCmdFromTheSystemFolder) {
  char path[kPathSize];
  std::memset(path, 0xBD, sizeof path);
  ASSERT_TRUE(GetSystemInterpreter(path, sizeof path));
  EXPECT_EQ(Interpreter(), path);
  EXPECT_TRUE(test::Exists(path));
}

TEST(SystemInterpreterTest, PathThatDoesNotFitIsRefused) {
  const std::size_t length = Interpreter().size();
  char path[kPathSize];
  for (std::size_t capacity : {length, std::size_t{4}, std::size_t{1}}) {
    SCOPED_TRACE(capacity);
    std::memset(path, 0xBD, sizeof path);
    EXPECT_FALSE(GetSystemInterpreter(path, capacity));
    EXPECT_EQ('\0', path[0]);
    EXPECT_EQ(static_cast<char>(0xBD), path[capacity]);
  }
  std::memset(path, 0xBD, sizeof path);
  EXPECT_TRUE(GetSystemInterpreter(path, length + 1));
  EXPECT_EQ(Interpreter(), path);
}

}  // namespace
