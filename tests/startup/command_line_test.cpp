#include "startup/command_line.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/environment.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

// Records the immediate actions in order: 'P' for a pause, 'W' for a warning.
class RecordingActions final : public SwitchActions {
 public:
  void Wait() override { log += 'P'; }
  void Warning() override { log += 'W'; }
  std::string log;
};

struct Row {
  const char* commandText;
  const char* sfxcmd;
  RunMode mode;
  bool silent;
  int counted;
  const char* actions;
};

const char* ModeName(RunMode mode) {
  switch (mode) {
    case RunMode::Setup:
      return "setup";
    case RunMode::Uninstall:
      return "uninstall";
    case RunMode::Nothing:
      return "nothing";
  }
  return "?";
}

TEST(CommandLineTest, SwitchesDecideTheMode) {
  const Row rows[] = {
      {"", "", RunMode::Uninstall, false, 0, ""},
      {"/s", "", RunMode::Uninstall, true, 0, ""},
      {"-S", "", RunMode::Uninstall, true, 0, ""},
      {"/s1", "", RunMode::Uninstall, true, 0, ""},
      {"/s-", "", RunMode::Nothing, true, 1, ""},  // the '-' after s opens a switch
      {"/sx", "", RunMode::Nothing, false, 1, ""},
      {"/SETUP", "", RunMode::Setup, false, 1, ""},
      {"-Setup", "", RunMode::Setup, false, 1, ""},
      {"/setupnow", "", RunMode::Setup, false, 1, ""},
      {"/setu", "", RunMode::Nothing, false, 1, ""},
      {"/wait", "", RunMode::Nothing, false, 1, "P"},
      {"/waiting", "", RunMode::Nothing, false, 1, "P"},
      {"/WARNING", "", RunMode::Nothing, false, 1, "W"},
      {"/warn", "", RunMode::Nothing, false, 1, ""},
      {"/wait /setup", "", RunMode::Setup, false, 2, "P"},
      {"/warning/wait", "", RunMode::Nothing, false, 2, "WP"},
      {"/clean", "", RunMode::Nothing, false, 1, ""},
      {"/s /setup", "", RunMode::Setup, true, 1, ""},
      {"C:\\a-b\\uninstall.exe", "", RunMode::Nothing, false, 1, ""},
      {"Files\\Korvik\\uninstall.exe", "", RunMode::Uninstall, false, 0, ""},
      {"Files\\Korvik-2\\uninstall.exe", "", RunMode::Nothing, false, 1, ""},
      {"word/s", "", RunMode::Uninstall, true, 0, ""},
      {"//setup", "", RunMode::Setup, false, 2, ""},
      {"/", "", RunMode::Nothing, false, 1, ""},
      {"-", "", RunMode::Nothing, false, 1, ""},
      {"", "x-s", RunMode::Uninstall, true, 0, ""},
      {"", "/S", RunMode::Uninstall, true, 0, ""},
      {"", "-s ", RunMode::Uninstall, true, 0, ""},
      {"", "-setup", RunMode::Uninstall, false, 0, ""},
      {"", "/sx /wait", RunMode::Uninstall, false, 0, ""},
      {"/setup", "-y -gm2 /S", RunMode::Setup, true, 1, ""},
      {"/setup", "", RunMode::Setup, false, 1, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("command \"") + row.commandText + "\", sfxcmd \"" + row.sfxcmd + "\"");
    RecordingActions actions;
    CommandLineScan scan = ScanCommandLine(row.commandText, row.sfxcmd, actions);
    EXPECT_STREQ(ModeName(row.mode), ModeName(scan.mode));
    EXPECT_EQ(row.silent, scan.silent);
    EXPECT_EQ(row.counted, scan.countedSwitches);
    EXPECT_EQ(row.actions, actions.log);
  }
}

// The quiet switch uninstalls without a question and without any message,
// wherever it stands, also after "warning"; it counts as little as the
// silent one. Only the command line makes a run quiet.
TEST(CommandLineTest, QuietSwitchIsSilentDoesNotCountAndShowsNoWarning) {
  struct QuietRow {
    const char* commandText;
    const char* sfxcmd;
    RunMode mode;
    bool quiet;
    bool silent;
    int counted;
    const char* actions;
  };
  const QuietRow rows[] = {
      {"/quiet", "", RunMode::Uninstall, true, true, 0, ""},
      {"-QUIET", "", RunMode::Uninstall, true, true, 0, ""},
      {"/Quietly", "", RunMode::Uninstall, true, true, 0, ""},
      {"/S /quiet", "", RunMode::Uninstall, true, true, 0, ""},
      {"/quiet/s", "", RunMode::Uninstall, true, true, 0, ""},
      {"/quie", "", RunMode::Nothing, false, false, 1, ""},
      {"/q", "", RunMode::Nothing, false, false, 1, ""},
      {"/s", "", RunMode::Uninstall, false, true, 0, ""},
      {"/warning /quiet", "", RunMode::Nothing, true, true, 1, ""},
      {"/quiet /warning", "", RunMode::Nothing, true, true, 1, ""},
      {"/wait /quiet", "", RunMode::Nothing, true, true, 1, "P"},
      {"/quiet /wait /warning", "", RunMode::Nothing, true, true, 2, "P"},
      {"/setup /quiet", "", RunMode::Setup, true, true, 1, ""},
      {"", "/quiet", RunMode::Uninstall, false, false, 0, ""},
      {"", "-s /quiet", RunMode::Uninstall, false, true, 0, ""},
  };
  for (const QuietRow& row : rows) {
    SCOPED_TRACE(std::string("command \"") + row.commandText + "\", sfxcmd \"" + row.sfxcmd + "\"");
    RecordingActions actions;
    CommandLineScan scan = ScanCommandLine(row.commandText, row.sfxcmd, actions);
    EXPECT_STREQ(ModeName(row.mode), ModeName(scan.mode));
    EXPECT_EQ(row.quiet, scan.quiet);
    EXPECT_EQ(row.quiet, CommandLineIsQuiet(row.commandText));
    EXPECT_EQ(row.silent, scan.silent);
    EXPECT_EQ(row.counted, scan.countedSwitches);
    EXPECT_EQ(row.actions, actions.log);
  }
}

TEST(CommandLineTest, ProgramNameIsSkippedByTheProgramsOwnRule) {
  struct NameRow {
    const char* full;
    const char* text;
  };
  const NameRow rows[] = {
      {"\"C:\\Program Files\\Korvik\\uninstall.exe\" /setup", "/setup"},
      {"C:\\Program Files\\Korvik\\uninstall.exe", "Files\\Korvik\\uninstall.exe"},
      {"  \t uninstall.exe \t /s ", "/s "},
      {"uninstall.exe", ""},
      {"\"C:\\unclosed quote /s", ""},
      {"\"\"/wait", "/wait"},
      {"", ""},
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(row.full);
    EXPECT_STREQ(row.text, CommandLineText(row.full, nullptr));
  }
}

// Entries in the list of installed programs written before the path was
// quoted still start the uninstall, also under a folder with a '-' after a
// blank. Anything but the program's own path keeps the plain rule.
TEST(CommandLineTest, UnquotedOwnPathIsSkippedWhole) {
  const char* program = "C:\\Program Files\\Korvik-7\\uninstall.exe";
  struct NameRow {
    const char* full;
    const char* text;
    RunMode mode;
  };
  const NameRow rows[] = {
      {"C:\\Program Files\\Korvik-7\\uninstall.exe", "", RunMode::Uninstall},
      {"  c:\\PROGRAM FILES\\korvik-7\\UNINSTALL.EXE", "", RunMode::Uninstall},
      {"C:\\Program Files\\Korvik-7\\uninstall.exe /S", "/S", RunMode::Uninstall},
      {"C:\\Program Files\\Korvik-7\\uninstall.exe\t/setup", "/setup", RunMode::Setup},
      {"\"C:\\Program Files\\Korvik-7\\uninstall.exe\" /S", "/S", RunMode::Uninstall},
      // Not the program's path: the name ends at the first blank.
      {"C:\\Program Files\\Korvik-7\\uninstall.exe.bak", "Files\\Korvik-7\\uninstall.exe.bak",
       RunMode::Nothing},
      {"C:\\Program Files\\Korvik-7\\uninstal", "Files\\Korvik-7\\uninstal", RunMode::Nothing},
      {"C:\\Program Files\\Korvik-8\\uninstall.exe", "Files\\Korvik-8\\uninstall.exe",
       RunMode::Nothing},
      {"", "", RunMode::Uninstall},
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(row.full);
    const char* text = CommandLineText(row.full, program);
    EXPECT_STREQ(row.text, text);
    RecordingActions actions;
    EXPECT_STREQ(ModeName(row.mode), ModeName(ScanCommandLine(text, "", actions).mode));
  }
  EXPECT_STREQ("Files\\Korvik-7\\uninstall.exe",
               CommandLineText("C:\\Program Files\\Korvik-7\\uninstall.exe", ""));
}

TEST(CommandLineTest, ThousandsOfSwitchesAreCountedWithoutHarm) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "/x -y ";
  RecordingActions actions;
  CommandLineScan scan = ScanCommandLine(text.c_str(), "", actions);
  EXPECT_EQ(10000, scan.countedSwitches);
  EXPECT_EQ(RunMode::Nothing, scan.mode);
}

// Where the wide call is a stub that fails with 120 (the 9x family), the
// narrow one reads the value, with the same limit.
TEST(CommandLineTest, SfxcmdLongerThanItsBufferIsTakenAsAbsent) {
  struct EnvRow {
    std::size_t padding;
    bool read;
  };
  // The buffer holds 1,023 characters and the terminator.
  const EnvRow rows[] = {{0, true}, {1020, true}, {1021, false}, {4000, false}};
  for (bool wideFails : {false, true}) {
    SCOPED_TRACE(wideFails ? "wide call not implemented" : "wide call");
    SetWideEnvironmentFaultForTest(wideFails);
    for (const EnvRow& row : rows) {
      std::string value = std::string(row.padding, 'a') + " /S";
      SCOPED_TRACE(value.size());
      SetEnvironmentVariableA("sfxcmd", value.c_str());
      char buffer[kPathSize];
      std::memset(buffer, 0xBD, sizeof buffer);
      EXPECT_EQ(row.read, ReadEnvironmentVariable("sfxcmd", buffer));
      EXPECT_EQ(row.read ? value : std::string(), std::string(buffer));
      RecordingActions actions;
      EXPECT_EQ(row.read, ScanCommandLine("", buffer, actions).silent);
    }
    SetEnvironmentVariableA("sfxcmd", nullptr);
    char buffer[8] = "garbage";
    EXPECT_FALSE(ReadEnvironmentVariable("sfxcmd", buffer));
    EXPECT_STREQ("", buffer);
    SetEnvironmentVariableA("sfxcmd", "");
    std::memcpy(buffer, "garbage", sizeof buffer);
    EXPECT_FALSE(ReadEnvironmentVariable("sfxcmd", buffer));
    EXPECT_STREQ("", buffer);
    SetEnvironmentVariableA("sfxcmd", nullptr);
  }
  SetWideEnvironmentFaultForTest(false);
}

// The installer's own path may hold characters of two bytes, or some the
// code page lacks: the switch after them still counts.
TEST(CommandLineTest, SfxcmdIsReadWholeWhateverCharactersItHolds) {
  struct EnvRow {
    const wchar_t* value;
    Unconvertible unconvertible;
    bool read;
    const char* expected;  // UTF-8
  };
  const EnvRow rows[] = {
      {L"\u6C49\u5B57 /S", Unconvertible::Replace, true, "汉字 /S"},
      {L"\u6C49\u5B57 /S", Unconvertible::Refuse, true, "汉字 /S"},
      {L"D:\\\u0E01\\setup.exe /S", Unconvertible::Replace, true, "D:\\?\\setup.exe /S"},
      {L"D:\\\u0E01\\setup.exe /S", Unconvertible::Refuse, false, ""},
  };
  for (const EnvRow& row : rows) {
    SCOPED_TRACE(row.expected);
    ASSERT_TRUE(SetEnvironmentVariableW(L"sfxcmd", row.value));
    char buffer[kPathSize];
    std::memset(buffer, 0xBD, sizeof buffer);
    EXPECT_EQ(row.read, ReadEnvironmentVariable("sfxcmd", buffer, row.unconvertible));
    EXPECT_EQ(test::Acp(row.expected), std::string(buffer));
    RecordingActions actions;
    EXPECT_EQ(row.read, ScanCommandLine("", buffer, actions).silent);
  }
  SetEnvironmentVariableA("sfxcmd", nullptr);
}

}  // namespace
