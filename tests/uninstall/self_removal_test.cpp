#include "uninstall/self_removal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

}  // namespace
