#include "localization/messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "support/localization_support.h"
#include "support/test_support.h"

namespace {

// The program's own text as the system's loader reads it from the string
// table, in the ANSI code page: what a fallback must give.
std::string BuiltIn(UINT id) {
  wchar_t wide[kMessageSize];
  int length = LoadStringW(GetModuleHandleA(nullptr), id, wide, kMessageSize);
  char text[kMessageSize * 2];
  int size = WideCharToMultiByte(CP_ACP, 0, wide, length, text, sizeof text, nullptr, nullptr);
  return std::string(text, size > 0 ? size : 0);
}

// Goes back to the program's own module after each case.
class MessagesTest : public testing::Test {
 protected:
  void TearDown() override { extResource.Unload(); }
};

// The one place that holds the built-in texts: their bytes are what the
// language file's keys are made from.
TEST_F(MessagesTest, BuiltInTextsAreTheChineseTableInCodePage936) {
  // "卸载 Korvik", byte for byte in code page 936.
  EXPECT_STREQ("\xD0\xB6\xD4\xD8 Korvik", MessageText(IDS_UNINSTALL_CAPTION));
  struct Row {
    UINT id;
    const char* utf8;
  };
  const Row rows[] = {
      {5101, "Korvik 压缩专家"},
      {5102, "Korvik 帮助"},
      {5103, "控制台 ORV 手册"},
      {5104, "卸载 Korvik"},
      {5105, "卸载已经完成"},
      {5106, "你应该手动删除 %s"},
      {5107, "继续卸载 Korvik 吗？"},
      {5108, "无法打开列表文件 %s"},
      {5109, "Korvik 档案文件"},
      {5110, "Korvik ZIP 档案文件"},
      {5111, "ORV 恢复卷"},
      {5113, "处理 ORV、ZIP 和其它档案文件格式"},
      {5114, "你必须重新启动 Windows 才能完全卸载 Korvik。"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(test::Acp(row.utf8), MessageText(row.id));
    EXPECT_EQ(test::Acp(row.utf8), BuiltIn(row.id));  // what the fallbacks below compare with
  }
  EXPECT_EQ(0, std::string(MessageText(IDS_HOME_PAGE)).rfind("https://", 0));
}

TEST_F(MessagesTest, UnknownIdGivesTheEmptyText) { EXPECT_STREQ("", MessageText(4000)); }

TEST_F(MessagesTest, RingOfEightSlotsIsReusedByTheNinthCall) {
  const char* first = MessageText(IDS_PRODUCT_NAME);
  std::set<const char*> slots{first};
  for (int i = 0; i < 7; ++i) slots.insert(MessageText(IDS_UNINSTALL_DONE));
  EXPECT_EQ(8u, slots.size());
  EXPECT_EQ(BuiltIn(IDS_PRODUCT_NAME), first);  // still intact after seven more
  const char* ninth = MessageText(IDS_UNINSTALL_CAPTION);
  EXPECT_EQ(first, ninth);
  EXPECT_EQ(BuiltIn(IDS_UNINSTALL_CAPTION), first);
}

TEST_F(MessagesTest, LibraryTextsComeFirstAndMissingOrEmptyOnesFallBack) {
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));
  EXPECT_NE(ProgramModule(), ResourceModule());
  EXPECT_STREQ("Uninstall Korvik", MessageText(IDS_UNINSTALL_CAPTION));
  EXPECT_STREQ("Korvik archiver", MessageText(IDS_PRODUCT_NAME));
  EXPECT_EQ(BuiltIn(IDS_CONSOLE_MANUAL), MessageText(IDS_CONSOLE_MANUAL));      // absent
  EXPECT_EQ(BuiltIn(IDS_SHORTCUT_COMMENT), MessageText(IDS_SHORTCUT_COMMENT));  // empty
  EXPECT_NE(nullptr, LoadIconA(ResourceModule(), "ORVICON"));
}

TEST_F(MessagesTest, AfterUnloadTheProgramModuleServesAgain) {
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));
  HMODULE library = ResourceModule();
  extResource.Unload();
  EXPECT_FALSE(extResource.IsLoaded());
  EXPECT_EQ(ProgramModule(), ResourceModule());
  EXPECT_EQ(GetModuleHandleA(nullptr), ResourceModule());
  EXPECT_EQ(BuiltIn(IDS_UNINSTALL_CAPTION), MessageText(IDS_UNINSTALL_CAPTION));
  // The library is really freed, so that the uninstall can delete its file.
  EXPECT_EQ(nullptr, GetModuleHandleA("orvlng.dll"));
  (void)library;
  extResource.Unload();  // a second unload does nothing
  EXPECT_EQ(GetModuleHandleA(nullptr), ResourceModule());
}

TEST_F(MessagesTest, MissingLibraryLeavesTheProgramModule) {
  EXPECT_FALSE(test::LoadFixtureLanguage("no such folder"));
  EXPECT_EQ(GetModuleHandleA(nullptr), ResourceModule());
  EXPECT_EQ(GetModuleHandleA(nullptr), ProgramModule());
}

TEST_F(MessagesTest, LoadingAgainReplacesTheLoadedLibrary) {
  test::LoadFixtureLanguage("translated");
  ASSERT_TRUE(test::LoadFixtureLanguage("badformat"));
  EXPECT_EQ(BuiltIn(IDS_PRODUCT_NAME), MessageText(IDS_PRODUCT_NAME));  // not in badformat
}

TEST_F(MessagesTest, PathFormatsKeepAGoodTranslation) {
  test::LoadFixtureLanguage("translated");
  const char* format = MessageFormatForPath(IDS_DELETE_BY_HAND);
  EXPECT_STREQ("Please delete %s by hand (100%% sure)", format);
  char text[kMessageSize];
  std::snprintf(text, sizeof text, format, "C:\\x");
  EXPECT_STREQ("Please delete C:\\x by hand (100% sure)", text);
  EXPECT_STREQ("Cannot open the list file %s", MessageFormatForPath(IDS_NO_LIST_FILE));
}

TEST_F(MessagesTest, PathFormatsRefuseABadTranslation) {
  ASSERT_TRUE(test::LoadFixtureLanguage("badformat"));
  EXPECT_STREQ("Delete %s and %s by hand%n", MessageText(IDS_DELETE_BY_HAND));
  EXPECT_EQ(BuiltIn(IDS_DELETE_BY_HAND), MessageFormatForPath(IDS_DELETE_BY_HAND));
  EXPECT_EQ(BuiltIn(IDS_NO_LIST_FILE), MessageFormatForPath(IDS_NO_LIST_FILE));
  EXPECT_STREQ("Uninstall Korvik", MessageText(IDS_UNINSTALL_CAPTION));
}

// The "dbcs" library's texts are double-byte characters whose second byte
// is a backslash, some with real backslashes, quotes or line breaks
// between them.
TEST_F(MessagesTest, FileNamesKeepAPlainTranslationAndRefuseOneThatLeavesTheFolder) {
  ASSERT_TRUE(test::LoadFixtureLanguage("dbcs"));
  struct Row {
    UINT id;
    std::string expected;
  };
  const Row rows[] = {
      {IDS_HELP_SHORTCUT, test::Acp("能表許功誠")},
      {IDS_CONSOLE_MANUAL, test::Acp("表能誠許功")},
      {IDS_ZIP_TYPE_NAME, BuiltIn(IDS_ZIP_TYPE_NAME)},            // backslashes
      {IDS_ARCHIVE_TYPE_NAME, BuiltIn(IDS_ARCHIVE_TYPE_NAME)},    // quotes
      {IDS_RECOVERY_TYPE_NAME, BuiltIn(IDS_RECOVERY_TYPE_NAME)},  // line breaks
      {IDS_SHORTCUT_COMMENT, BuiltIn(IDS_SHORTCUT_COMMENT)},      // not in the library
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(row.expected, MessageTextForFileName(row.id));
  }
}

// The formatter reads a format byte by byte: a '%' after a lone lead byte
// opens a conversion.
TEST(PathFormatTest, FormatterSeesAConversionAfterALoneLeadByte) {
  ASSERT_TRUE(IsLeadByte('\x81'));
  char text[16];
  ASSERT_TRUE(FormatText(text, sizeof text, "\x81%d", 5));
  EXPECT_STREQ(
      "\x81"
      "5",
      text);
}

TEST(PathFormatTest, ExactlyOneStringConversion) {
  struct Row {
    const char* format;
    bool usable;
  };
  const Row rows[] = {
      {"%s", true},
      {"delete %s", true},
      {"100%% %s", true},
      {"%s %%", true},
      {"", false},
      {"no conversion", false},
      {"%s %s", false},
      {"%n %s", false},
      {"%d", false},
      {"%s%", false},
      {"%ls", false},
      {"%-10s", false},
      {"%%s", false},
      {"%%%s", true},
      {"\xD0\xB6%s", true},
      // A lone lead byte does not hide the '%' after it from the formatter.
      {"\x81%n%s", false},
      {"\xD0%d%s", false},
      {"\x81%%s", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.format);
    EXPECT_EQ(row.usable, IsSinglePathFormat(row.format));
  }
}

}  // namespace
