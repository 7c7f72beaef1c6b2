#include "uninstall/self_removal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

std::string Compose(const char* program, const char* folder, const char* batch, bool ntFamily) {
  static char text[kBatchSize];
  std::memset(text, 0xBD, sizeof text);
  EXPECT_TRUE(ComposeSelfRemovalBatch(text, sizeof text, program, folder, batch, ntFamily));
  return text;
}

std::string Attempt(const std::string& program, const std::string& folder) {
  return "del \"" + program + "\"\r\n" + "rd \"" + folder + "\"\r\n" + "if not exist \"" +
         program + "\" goto done\r\n";
}

TEST(SelfRemovalTest, BatchWaitsTriesFiveTimesWarnsAndDeletesItself) {
  const std::string program = "C:\\Program Files\\Korvik\\uninstall.exe";
  const std::string folder = "C:\\Program Files\\Korvik";
  const std::string batch = "C:\\TEMP\\Uninstall_Orv.Bat";
  std::string attempts;
  for (int i = 0; i < 5; ++i) attempts += Attempt(program, folder);
  std::string end = ":done\r\nif exist \"" + program + "\" \"" + program + "\" /warning\r\n" +
                    "del \"" + batch + "\"";

  EXPECT_EQ("\"" + program + "\" /wait\r\n" + attempts + end,
            Compose(program.c_str(), folder.c_str(), batch.c_str(), true));
  EXPECT_EQ("start /wait \"" + program + "\" /wait\r\n" + attempts + end,
            Compose(program.c_str(), folder.c_str(), batch.c_str(), false));
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
  std::string fixedText = Compose("", "", "", false);
  EXPECT_EQ(fixedText.size() + 19 * longest.size(),
            Compose(longest.c_str(), longest.c_str(), longest.c_str(), false).size());
}

TEST(SelfRemovalTest, BatchThatDoesNotFitIsRefused) {
  std::string whole = Compose("C:\\K\\u.exe", "C:\\K", "C:\\T\\b.bat", true);
  char text[512];
  ASSERT_LT(whole.size(), sizeof text);
  std::memset(text, 0xBD, sizeof text);
  EXPECT_FALSE(ComposeSelfRemovalBatch(text, whole.size(), "C:\\K\\u.exe", "C:\\K",
                                       "C:\\T\\b.bat", true));
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

// "cmd /c "B"" strips the quotes when B holds one of & ( ) ^ @ < > | and a
// blank; on the NT family the command gets a second pair.
TEST(SelfRemovalTest, InterpreterCommandQuotesTheBatchFileTwiceOnTheNtFamily) {
  const char* batch = "C:\\tmp (x)\\Uninstall_Orv.Bat";
  char command[256];
  std::memset(command, 0xBD, sizeof command);
  ASSERT_TRUE(ComposeInterpreterCommand(command, sizeof command, "C:\\windows\\system32\\cmd.exe",
                                        batch, true));
  EXPECT_STREQ("C:\\windows\\system32\\cmd.exe /c \"\"C:\\tmp (x)\\Uninstall_Orv.Bat\"\"", command);
  ASSERT_TRUE(
      ComposeInterpreterCommand(command, sizeof command, "C:\\WINDOWS\\COMMAND.COM", batch, false));
  EXPECT_STREQ("C:\\WINDOWS\\COMMAND.COM /c \"C:\\tmp (x)\\Uninstall_Orv.Bat\"", command);
  EXPECT_FALSE(ComposeInterpreterCommand(command, 20, "cmd.exe", batch, true));
}

}  // namespace
