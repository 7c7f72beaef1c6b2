#include "uninstall/self_removal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

std::string Compose(const char* program, const char* folder, const char* batch, bool ntFamily,
                    bool quiet = false) {
  static char text[kBatchSize];
  std::memset(text, 0xBD, sizeof text);
  EXPECT_TRUE(ComposeSelfRemovalBatch(text, sizeof text, program, folder, batch, ntFamily, quiet));
  return text;
}

// The one place that spells the batch file out: its bytes are what the
// command interpreter runs. It waits for the program, tries five times to
// delete the program and its folder, warns if the program is left and
// deletes itself; a quiet one passes the quiet switch on to every instance.
TEST(SelfRemovalTest, BatchWaitsTriesFiveTimesWarnsAndDeletesItself) {
  const std::string batch = "C:\\TEMP\\Uninstall_Orv.Bat";
  for (const char* folder : {"C:\\Program Files\\Korvik", "C:\\Games!\\Korvik"}) {
    const std::string program = std::string(folder) + "\\uninstall.exe";
    for (bool quiet : {false, true}) {
      for (bool ntFamily : {true, false}) {
        SCOPED_TRACE(testing::Message() << folder << (quiet ? " quiet" : "")
                                        << (ntFamily ? " NT family" : " 9x family"));
        const std::string passedOn = quiet ? " /quiet" : "";
        std::string expected =
            (ntFamily ? "" : "start /wait ") + ("\"" + program + "\" /wait" + passedOn + "\r\n");
        for (int i = 0; i < 5; ++i) {
          expected += "del \"" + program + "\"\r\nrd \"" + folder + "\"\r\nif not exist \"" +
                      program + "\" goto done\r\n";
        }
        expected += ":done\r\nif exist \"" + program + "\" \"" + program + "\" /warning" +
                    passedOn + "\r\ndel \"" + batch + "\"";
        EXPECT_EQ(expected, Compose(program.c_str(), folder, batch.c_str(), ntFamily, quiet));
      }
    }
  }
}

TEST(SelfRemovalTest, ProgramAtADriveRootRemovesTheRoot) {
  std::string text = Compose("R:\\uninstall.exe", "R:\\", "C:\\T\\Uninstall_Orv.Bat", true);
  EXPECT_NE(std::string::npos, text.find("\r\nrd \"R:\\\"\r\n"));
}

TEST(SelfRemovalTest, LastLineHasNoLineEnd) {
  std::string text = Compose("C:\\K\\u.exe", "C:\\K", "C:\\T\\b.bat", true);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ("\r\ndel \"C:\\T\\b.bat\"", text.substr(text.rfind("\r\n")));
}

TEST(SelfRemovalTest, LongestPathsFitTheBatchBuffer) {
  // Thirteen times the program path, five times the folder, once the batch.
  std::string longest(kPathSize - 1, 'p');
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "not quiet");
    std::string fixedText = Compose("", "", "", false, quiet);
    EXPECT_EQ(fixedText.size() + 19 * longest.size(),
              Compose(longest.c_str(), longest.c_str(), longest.c_str(), false, quiet).size());
  }
}

TEST(SelfRemovalTest, BatchThatDoesNotFitIsRefused) {
  std::string whole = Compose("C:\\K\\u.exe", "C:\\K", "C:\\T\\b.bat", true);
  char text[512];
  ASSERT_LT(whole.size(), sizeof text);
  std::memset(text, 0xBD, sizeof text);
  EXPECT_FALSE(
      ComposeSelfRemovalBatch(text, whole.size(), "C:\\K\\u.exe", "C:\\K", "C:\\T\\b.bat", true));
  EXPECT_EQ(static_cast<char>(0xBD), text[whole.size()]);  // nothing past the capacity
  EXPECT_TRUE(ComposeSelfRemovalBatch(text, whole.size() + 1, "C:\\K\\u.exe", "C:\\K",
                                      "C:\\T\\b.bat", true));
  EXPECT_EQ(whole, text);
}

// What cmd reads from the batch file: a lone '%' would be dropped or open a
// variable ("C:\\A%B\\uninstall.exe" became "C:\\AB\\uninstall.exe"). In code page
// 936 the OEM code page is the ANSI one, so the bytes stay as they are.
TEST(SelfRemovalTest, BatchFilePathDoublesEveryPercentSign) {
  struct Row {
    std::string path;
    std::size_t capacity;
    bool written;
    std::string expected;
  };
  const std::string chinese = test::Acp("C:\\程序\\乗表\\uninstall.exe");
  const Row rows[] = {
      {"C:\\Program Files\\Korvik\\uninstall.exe", kBatchPathSize, true,
       "C:\\Program Files\\Korvik\\uninstall.exe"},
      {"C:\\A%B\\uninstall.exe", kBatchPathSize, true, "C:\\A%%B\\uninstall.exe"},
      {"C:\\%OS%\\%%\\x", kBatchPathSize, true, "C:\\%%OS%%\\%%%%\\x"},
      {chinese, kBatchPathSize, true, chinese},
      {"C:\\%", 6, true, "C:\\%%"},
      {"C:\\%", 5, false, ""},  // no cut path: it would name another file
      {std::string(kPathSize - 1, '%'), kBatchPathSize, true, std::string(2 * kPathSize - 2, '%')},
      {std::string(kPathSize, 'a'), kBatchPathSize, false, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(test::Utf8(row.path));
    static char out[kBatchPathSize + 16];
    std::memset(out, 0xBD, sizeof out);
    EXPECT_EQ(row.written, BatchFilePath(row.path.c_str(), out, row.capacity));
    EXPECT_EQ(row.expected, std::string(out));
    EXPECT_EQ(static_cast<char>(0xBD), out[row.capacity]);  // nothing past the capacity
  }
}

// The 9x family's interpreter is given the path, quoted. On the NT family
// no part of a path reaches cmd's command line, where a defined %NAME% is
// expanded; the batch file is found in the interpreter's own folder, with
// neither AutoRun commands nor delayed expansion.
TEST(SelfRemovalTest, InterpreterCommandNamesNoPathOnTheNtFamily) {
  struct Row {
    const char* interpreter;
    const char* batch;
    bool ntFamily;
    const char* expected;
  };
  const Row rows[] = {
      {"C:\\windows\\system32\\cmd.exe", "C:\\tmp (x)\\Uninstall_Orv.Bat", true,
       "C:\\windows\\system32\\cmd.exe /d /v:off /c .\\Uninstall_Orv.Bat"},
      {"C:\\windows\\system32\\cmd.exe", "C:\\t%AUDVAR%!x!\\Uninstall_Orv.Bat", true,
       "C:\\windows\\system32\\cmd.exe /d /v:off /c .\\Uninstall_Orv.Bat"},
      {"\"C:\\my shell\\cmd.exe\"", "C:\\T\\Uninstall_Orv.Bat", true,
       "\"C:\\my shell\\cmd.exe\" /d /v:off /c .\\Uninstall_Orv.Bat"},
      {"C:\\WINDOWS\\COMMAND.COM", "C:\\tmp (x)\\Uninstall_Orv.Bat", false,
       "C:\\WINDOWS\\COMMAND.COM /c \"C:\\tmp (x)\\Uninstall_Orv.Bat\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.batch);
    char command[256];
    std::memset(command, 0xBD, sizeof command);
    ASSERT_TRUE(ComposeInterpreterCommand(command, sizeof command, row.interpreter, row.batch,
                                          row.ntFamily));
    EXPECT_STREQ(row.expected, command);
  }
  char command[256];
  EXPECT_FALSE(ComposeInterpreterCommand(command, 20, "cmd.exe", "C:\\T\\b.bat", true));
  EXPECT_FALSE(ComposeInterpreterCommand(command, 20, "COMMAND.COM", "C:\\T\\b.bat", false));
}

}  // namespace
