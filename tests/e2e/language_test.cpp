// The language file end to end: uninstall.exe reads "uninstall.lng" from
// its own folder, and its texts come before those of the language library.
#include <gtest/gtest.h>

#include <string>

#include "e2e/sandbox.h"
#include "support/test_support.h"

namespace {

using e2e::RunWarning;
using e2e::Sandbox;
using e2e::Warning;

TEST(LanguageFileEndToEnd, WarningTextsComeFromTheFileBeforeTheLibrary) {
  struct Row {
    const char* name;
    bool library;
    std::string file;
    std::string caption;
    std::string text;  // the program path stands where %s does
  };
  const Row rows[] = {
      {"file and library", true,
       "Made by a translator\r\n***messages***\r\n"
       "76f0cc56=\"Remove Korvik (file)\"\r\n"
       "f614af86=\"Finished (file)\"\r\n"
       "3b590d53=\"Please delete by hand:\\n%s\"\r\n",
       "Remove Korvik (file)", "Finished (file)\nPlease delete by hand:\n%s"},
      // Texts the file lacks are the built-in ones, not the library's.
      {"file with one entry, and library", true, "***messages***\nf614af86=\"Finished (file)\"\n",
       test::Acp("卸载 Korvik"), "Finished (file)\n" + test::Acp("你应该手动删除 %s")},
      {"file without the marker, and library", true, "f614af86=\"Finished (file)\"\n",
       "Uninstall Korvik", "Uninstall finished\nPlease delete %s by hand (100% sure)"},
      {"file alone", false, "***messages***\r\n76f0cc56=\"Remove Korvik (file)\"\r\n",
       "Remove Korvik (file)", test::Acp("卸载已经完成\n你应该手动删除 %s")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox sandbox("language-file");
    ASSERT_TRUE(sandbox.WriteFile("uninstall.lng", row.file));
    if (row.library) {
      ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary("translated"), "orvlng.dll"));
    }
    Warning seen = RunWarning(sandbox);
    EXPECT_EQ(row.caption, seen.caption) << test::Utf8(seen.caption);
    std::string expected = row.text;
    expected.replace(expected.find("%s"), 2, sandbox.ProgramPath());
    EXPECT_EQ(expected, seen.text) << test::Utf8(seen.text);
  }
}

}  // namespace
