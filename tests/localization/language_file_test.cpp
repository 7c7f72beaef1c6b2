// The language file "uninstall.lng" read from disk beside the test program,
// as the entry routine reads it beside uninstall.exe, and the message texts
// it gives. The keys are those of the built-in texts in code page 936.
#include "localization/language_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "localization/messages.h"
#include "platform/memory_error.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "startup/entry.h"
#include "support/localization_support.h"
#include "support/test_support.h"

namespace {

const char kOtherFolder[] = "C:\\KorvikTests\\language-file";

// The example file of a translated installation, in its lines.
const char* const kExampleLines[] = {
    "Texts for other tools may stand here; they are not read.",
    "***messages***",
    "f614af86=\"Uninstall finished\"",
    "3b590d53=\"Please delete by hand:\\n%s\"",
    "c2989d97=\"Cannot open the list file\\t%s\"",
    "31e0ff52=\"&Finish\"",
    "9b889d24=\"125*110\"",
    "Lines that do not begin with a key are ignored.",
};

std::string Example(const char* lineEnd) {
  std::string file;
  for (const char* line : kExampleLines) file += std::string(line) + lineEnd;
  return file;
}

std::string BesideProgram() { return test::ExeFolder() + "\\uninstall.lng"; }

class LanguageFileTest : public testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  // No file beside the program, none loaded, no language library.
  static void Reset() {
    DeleteFileA(BesideProgram().c_str());
    DeleteFileA((std::string(kOtherFolder) + "\\other.lng").c_str());
    RemoveDirectoryA(kOtherFolder);
    extResource.Unload();
    languageResources.Load("uninstall.lng", ResourceModule());
    ASSERT_FALSE(languageResources.IsLoaded());
  }

  static void LoadFile(const std::string& bytes) {
    ASSERT_TRUE(test::WriteWholeFile(BesideProgram(), bytes));
    languageResources.Load("uninstall.lng", ResourceModule());
  }

  // The translation of source, made in a buffer of capacity bytes followed
  // by garbage that must stay.
  static std::string Translated(char kind, const char* context, const std::string& source,
                                std::size_t capacity = kPathSize) {
    std::vector<char> buffer(capacity + 32, test::kGarbage);
    CopyText(buffer.data(), capacity, source.c_str());
    languageResources.Translate(kind, context, buffer.data(), capacity);
    for (std::size_t i = capacity; i < buffer.size(); ++i) {
      if (buffer[i] != test::kGarbage) ADD_FAILURE() << "written past the buffer at " << i;
    }
    return std::string(buffer.data(), BoundedLength(buffer.data(), capacity));
  }
};

TEST_F(LanguageFileTest, ExampleFileGivesEveryEntry) {
  for (const char* lineEnd : {"\r\n", "\n"}) {
    SCOPED_TRACE(lineEnd[0] == '\r' ? "CR LF" : "LF");
    LoadFile(Example(lineEnd));
    ASSERT_TRUE(languageResources.IsLoaded());
    EXPECT_STREQ("Uninstall finished", MessageText(IDS_UNINSTALL_DONE));
    EXPECT_STREQ("Please delete by hand:\n%s", MessageText(IDS_DELETE_BY_HAND));
    EXPECT_STREQ("Cannot open the list file\t%s", MessageText(IDS_NO_LIST_FILE));
    EXPECT_EQ("&Finish", Translated('$', "DONEDLG", test::Acp("完成")));
    EXPECT_EQ("125*110", Translated('$', "SETUPDLG", "", kMessageSize));
    // Texts without an entry stay as built in; a dialog text's key holds
    // its dialog's name.
    EXPECT_EQ(test::Acp("卸载 Korvik"), MessageText(IDS_UNINSTALL_CAPTION));
    EXPECT_EQ(test::Acp("完成"), Translated('$', "SETUPDLG", test::Acp("完成")));
    EXPECT_EQ("", Translated('$', "DONEDLG", "", kMessageSize));
    EXPECT_FALSE(languageResources.RightToLeft());
  }
}

TEST_F(LanguageFileTest, OnlyTheTextFromTheMarkerOnIsRead) {
  struct Row {
    const char* name;
    std::string file;
  };
  const Row rows[] = {
      {"entry before the marker",
       "76f0cc56=\"Before\"\r\n***messages***\r\nf614af86=\"After\"\r\n"},
      {"marker in the middle of a line",
       "Header ***messages*** 76f0cc56=\"Same line\"\r\nf614af86=\"After\"\r\n"},
      {"marker at the very start, form feeds",
       "***messages***76f0cc56=\"Same line\"\ff614af86=\"After\"\f"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LoadFile(row.file);
    ASSERT_TRUE(languageResources.IsLoaded());
    EXPECT_STREQ("After", MessageText(IDS_UNINSTALL_DONE));
    EXPECT_EQ(test::Acp("卸载 Korvik"), MessageText(IDS_UNINSTALL_CAPTION));
  }
}

TEST_F(LanguageFileTest, EntryTexts) {
  std::string chinese;  // 300 bytes
  for (int i = 0; i < 150; ++i) chinese += test::Acp("卸");
  struct Row {
    const char* name;
    std::string entries;   // after the marker line
    std::string expected;  // of message 5105
  };
  const Row rows[] = {
      {"plain quote inside", "f614af86=\"Say \"hi\" now\"\r\n", "Say \"hi\" now"},
      {"escaped quote inside", "f614af86=\"Say \\\"hi\\\" now\"\r\n", "Say \"hi\" now"},
      {"escaped backslash", "f614af86=\"C:\\\\Korvik\"\r\n", "C:\\Korvik"},
      {"no closing quote", "f614af86=\"Open ended\r\n76f0cc56=\"Caption\"\r\n", "Open ended"},
      {"key and = as the last line", "f614af86=", ""},
      {"key, = and quote as the last line", "f614af86=\"", ""},
      {"upper-case key", "F614AF86=\"Upper\"\r\n", test::Acp("卸载已经完成")},
      {"mixed-case key", "f614AF86=\"Upper\"\r\n", test::Acp("卸载已经完成")},
      {"last line without a line break", "f614af86=\"" + std::string(300, 'x') + "\"",
       std::string(255, 'x')},
      {"last line of double-byte characters",  // 255 bytes would split one
       "f614af86=\"" + chinese + "\"", chinese.substr(0, 254)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LoadFile("***messages***\r\n" + row.entries);
    EXPECT_EQ(row.expected, MessageText(IDS_UNINSTALL_DONE));
  }
  LoadFile("***messages***\r\nf614af86=\"Open ended\r\n76f0cc56=\"Caption\"\r\n");
  EXPECT_STREQ("Caption", MessageText(IDS_UNINSTALL_CAPTION));
}

// A double-byte character whose second byte is a backslash must not take
// the quote or escape after it: "完成誠" keeps its closing quote, "誠\n下一行"
// its line break. The file is read in the code page it was made for, the system's
// (936) unless the loader is given another.
TEST_F(LanguageFileTest, DoubleByteCharactersEndingInABackslashByteStayWhole) {
  struct Row {
    unsigned codePage;  // CP_ACP: the system's
    std::string entry;  // of message 5105
    std::string expected;
  };
  const std::string complete = test::Acp("完成誠");
  const std::string nextLine = test::Acp("誠\n下一行");
  const Row rows[] = {
      {CP_ACP, complete, complete},
      {CP_ACP, test::Acp("誠") + "\\n" + test::Acp("下一行"), nextLine},
      {CP_ACP, "Plain \\\"quoted\\\" C:\\\\Korvik", "Plain \"quoted\" C:\\Korvik"},
      {950, "\xA5\x5C\xB3\x5C", "\xA5\x5C\xB3\x5C"},  // 功許
      {950, "\xA5\x5C\\n\xB3\x5Ct", "\xA5\x5C\n\xB3\x5Ct"},
      {932, "\x95\x5C\x8E\xA6\x94\x5C", "\x95\x5C\x8E\xA6\x94\x5C"},  // 表示能
      {932, "\x94\x5C\\\\\x95\x5C\\r", "\x94\x5C\\\x95\x5C\r"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.codePage << " " << test::Utf8(row.entry));
    ASSERT_TRUE(test::WriteWholeFile(
        BesideProgram(), "***messages***\r\nf614af86=\"" + row.entry + "\"\r\nlast line\r\n"));
    languageResources.Load("uninstall.lng", ResourceModule(), row.codePage);
    EXPECT_EQ(row.expected, MessageText(IDS_UNINSTALL_DONE));
  }
}

TEST_F(LanguageFileTest, TranslationLongerThanTheBufferIsCutToFit) {
  struct Row {
    std::size_t capacity;
    std::string translation;
    std::string expected;
  };
  std::string wide;  // 600 bytes of double-byte characters
  for (int i = 0; i < 300; ++i) wide += test::Acp("载");
  const Row rows[] = {
      {512, std::string(600, 'a'), std::string(511, 'a')},
      {512, std::string(511, 'b'), std::string(511, 'b')},
      {512, std::string(512, 'c'), std::string(511, 'c')},
      {1024, std::string(1100, 'd'), std::string(1023, 'd')},
      {1024, std::string(1023, 'e'), std::string(1023, 'e')},
      {512, wide, wide.substr(0, 510)},  // never half a character
      {16, "short enough", "short enough"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.capacity) + " bytes for " +
                 std::to_string(row.translation.size()));
    LoadFile("***messages***\r\nf614af86=\"" + row.translation + "\"\r\nlast line\r\n");
    EXPECT_EQ(row.expected, Translated('s', nullptr, test::Acp("卸载已经完成"), row.capacity));
  }
  LoadFile("***messages***\r\nf614af86=\"" + std::string(2000, 'm') + "\"\r\nlast line\r\n");
  EXPECT_EQ(std::string(511, 'm'), MessageText(IDS_UNINSTALL_DONE));
}

TEST_F(LanguageFileTest, TranslationIntoAnotherBuffer) {
  LoadFile(Example("\r\n"));
  const std::string done = test::Acp("卸载已经完成");
  std::vector<char> out(64, test::kGarbage);
  languageResources.Translate('s', nullptr, done.c_str(), out.data(), 16);
  EXPECT_STREQ("Uninstall finis", out.data());
  EXPECT_EQ(test::kGarbage, out[16]);
  std::fill(out.begin(), out.end(), test::kGarbage);
  languageResources.Translate('s', nullptr, "no entry", out.data(), 32);
  EXPECT_STREQ("no entry", out.data());
  EXPECT_EQ(test::kGarbage, out[32]);
  // Buffers smaller than the source text itself.
  struct Row {
    std::size_t capacity;
    const char* expected;
  };
  const Row rows[] = {{4, "Uni"}, {2, "U"}, {1, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.capacity);
    std::fill(out.begin(), out.end(), test::kGarbage);
    languageResources.Translate('s', nullptr, done.c_str(), out.data(), row.capacity);
    EXPECT_STREQ(row.expected, out.data());
    EXPECT_EQ(test::kGarbage, out[row.capacity]);
  }
  std::fill(out.begin(), out.end(), test::kGarbage);
  languageResources.Translate('s', nullptr, done.c_str(), out.data(), 0);
  EXPECT_EQ(test::kGarbage, out[0]);
}

TEST_F(LanguageFileTest, WithoutAFileEveryTextIsLeftAsItIs) {
  EXPECT_FALSE(languageResources.IsLoaded());
  std::vector<char> buffer(32, test::kGarbage);
  const std::string done = test::Acp("卸载已经完成");
  std::memcpy(buffer.data(), done.c_str(), done.size() + 1);
  languageResources.Translate('s', nullptr, buffer.data(), buffer.size());
  EXPECT_EQ(done, buffer.data());
  EXPECT_EQ(test::kGarbage, buffer[done.size() + 1]);  // untouched, not copied over
  std::vector<char> out(32, test::kGarbage);
  languageResources.Translate('s', nullptr, done.c_str(), out.data(), out.size());
  EXPECT_EQ(done, out.data());
  EXPECT_EQ(test::Acp("卸载已经完成"), MessageText(IDS_UNINSTALL_DONE));
}

TEST_F(LanguageFileTest, FilesWithoutAUsableMarkerAreNotLoaded) {
  const std::string marker = "***messages***\r\nf614af86=\"Found\"\r\n";
  struct Row {
    const char* name;
    std::size_t size;
    std::size_t at;  // where the marker begins; npos: no marker
    bool used;
  };
  const std::size_t none = std::string::npos;
  const Row rows[] = {
      {"no marker", 5000, none, false},
      {"empty file", 0, none, false},
      {"600,000 bytes, marker at 550,000", 600000, 550000, false},
      {"marker at 523,265", 600000, 523265, false},
      {"marker at 523,264", 600000, 523264, true},
      {"marker in the second block", 20000, 9000, true},
      {"marker across the first block's end", 20000, 8185, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string file(row.size, '-');
    if (row.at != none) file.replace(row.at, marker.size(), marker);
    LoadFile(file);
    EXPECT_EQ(row.used, languageResources.IsLoaded());
    EXPECT_EQ(row.used ? std::string("Found") : test::Acp("卸载已经完成"),
              MessageText(IDS_UNINSTALL_DONE));
  }
}

TEST_F(LanguageFileTest, ReadFromTheMarkerGivesAtMost65536Bytes) {
  std::string file = "***messages***\r\n";
  for (int i = 0; file.size() < 65536 - 20; ++i)
    file += "padding line " + std::to_string(i) + "\r\n";
  file.resize(65536 - 20, 'p');
  // The entry's line starts 18 bytes before the region's end: its key, "="
  // and quote, then 8 bytes of its text are read, as the text's last line.
  file += "\r\nf614af86=\"Cut off by the region's end\"\r\n";
  LoadFile(file);
  ASSERT_TRUE(languageResources.IsLoaded());
  EXPECT_STREQ("Cut off ", MessageText(IDS_UNINSTALL_DONE));
}

TEST_F(LanguageFileTest, NameWithABackslashIsUsedAsItIs) {
  CreateDirectoryA("C:\\KorvikTests", nullptr);
  ASSERT_TRUE(CreateDirectoryA(kOtherFolder, nullptr));
  std::string path = std::string(kOtherFolder) + "\\other.lng";
  ASSERT_TRUE(test::WriteWholeFile(path, Example("\r\n")));
  languageResources.Load(path.c_str(), ResourceModule());
  EXPECT_TRUE(languageResources.IsLoaded());
  EXPECT_STREQ("Uninstall finished", MessageText(IDS_UNINSTALL_DONE));
  // A name without one is looked for beside the program only.
  languageResources.Load("other.lng", ResourceModule());
  EXPECT_FALSE(languageResources.IsLoaded());
  languageResources.Load(std::string(2000, 'n').c_str(), ResourceModule());
  EXPECT_FALSE(languageResources.IsLoaded());
}

TEST_F(LanguageFileTest, FileTextsComeBeforeTheLibraryAndBuiltInTextsBeforeItsTable) {
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));
  EXPECT_STREQ("Uninstall Korvik", MessageText(IDS_UNINSTALL_CAPTION));  // the library's
  LoadFile("***messages***\r\nf614af86=\"Finished, says the file\"\r\n");
  ASSERT_TRUE(languageResources.IsLoaded());
  EXPECT_STREQ("Finished, says the file", MessageText(IDS_UNINSTALL_DONE));
  // No entry: the built-in text, not the library's.
  EXPECT_EQ(test::Acp("卸载 Korvik"), MessageText(IDS_UNINSTALL_CAPTION));
  EXPECT_EQ(test::Acp("Korvik 压缩专家"), MessageText(IDS_PRODUCT_NAME));
  // The library still serves dialogs and the icon.
  EXPECT_NE(ProgramModule(), ResourceModule());
  EXPECT_NE(nullptr, LoadIconA(ResourceModule(), "ORVICON"));
}

// A language file served through a named pipe: the marker search reads its
// first block, then the writer goes away, so the read after the marker fails.
TEST_F(LanguageFileTest, FailedReadAfterTheMarkerLoadsAnEmptyText) {
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));
  const char pipeName[] = "\\\\.\\pipe\\korvik-language-file-test";
  HANDLE server = CreateNamedPipeA(pipeName, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                   65536, 65536, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, server);
  std::thread writer([server] {
    ConnectNamedPipe(server, nullptr);
    const std::string block = "***messages***\r\nf614af86=\"From the first block\"\r\n";
    DWORD written = 0;
    WriteFile(server, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    FlushFileBuffers(server);  // until the loader has read the block
    CloseHandle(server);
  });
  languageResources.Load(pipeName, ResourceModule());
  writer.join();
  EXPECT_TRUE(languageResources.IsLoaded());
  EXPECT_EQ(test::Acp("卸载已经完成"), MessageText(IDS_UNINSTALL_DONE));
  EXPECT_EQ(test::Acp("卸载 Korvik"), MessageText(IDS_UNINSTALL_CAPTION));  // not the library's
}

TEST_F(LanguageFileTest, DirectionFromTheFile) {
  struct Row {
    std::string entries;
    bool rightToLeft;
  };
  const Row rows[] = {
      {"50a17ae8=\"RTL\"\r\n", true},   {"50a17ae8=\"rtl\"\r\n", false},
      {"50a17ae8=\"RTL \"\r\n", false}, {"50a17ae8=\"LTR\"\r\n", false},
      {"50A17AE8=\"RTL\"\r\n", false},  {"f614af86=\"RTL\"\r\n", false},
      {"50a17ae8=\"RTL\"", true},  // as the last line
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entries);
    LoadFile("***messages***\r\n" + row.entries);
    EXPECT_EQ(row.rightToLeft, languageResources.RightToLeft());
  }
}

TEST_F(LanguageFileTest, DirectionFromALibraryWithAnRtlDialog) {
  ASSERT_TRUE(test::LoadFixtureLanguage("rtl"));
  languageResources.Load("uninstall.lng", ResourceModule());  // there is none
  EXPECT_FALSE(languageResources.IsLoaded());
  EXPECT_TRUE(languageResources.RightToLeft());
  LoadFile("***messages***\r\n50a17ae8=\"LTR\"\r\n");
  EXPECT_TRUE(languageResources.RightToLeft());
  // Decided once: unloading the library later does not change it.
  extResource.Unload();
  EXPECT_TRUE(languageResources.RightToLeft());
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));  // no such dialog
  languageResources.Load("uninstall.lng", ResourceModule());
  EXPECT_FALSE(languageResources.RightToLeft());
}

TEST_F(LanguageFileTest, TextBufferThatCannotBeHadLeavesNoFile) {
  ASSERT_TRUE(test::WriteWholeFile(BesideProgram(), Example("\r\n")));
  {
    test::ScopedReallocationLimit limit(0);
    languageResources.Load("uninstall.lng", ResourceModule());
  }
  EXPECT_FALSE(languageResources.IsLoaded());
  EXPECT_EQ(test::Acp("卸载已经完成"), MessageText(IDS_UNINSTALL_DONE));
  EXPECT_TRUE(DeleteFileA(BesideProgram().c_str())) << "the file was left open";
}

// Runs where the out-of-memory error ends the run: what the loader left.
void ReportLoaderState(int code) {
  std::fprintf(stderr, "error %d (state %d), loaded %d, built-in messages %d, file closed %d\n",
               code, errorState.code, languageResources.IsLoaded(),
               test::Acp("卸载已经完成") == MessageText(IDS_UNINSTALL_DONE),
               DeleteFileA(BesideProgram().c_str()) != FALSE);
}

TEST_F(LanguageFileTest, IndexThatCannotGrowRaisesTheMemoryError) {
  ASSERT_TRUE(test::WriteWholeFile(BesideProgram(), Example("\r\n")));
  EXPECT_EXIT(
      {
        SetMemoryErrorReport(ReportLoaderState);
        test::ScopedReallocationLimit limit(1);  // the text, not the index
        languageResources.Load("uninstall.lng", ResourceModule());
      },
      testing::ExitedWithCode(0),
      "error 8 \\(state 8\\), loaded 0, built-in messages 1, file closed 1");
}

struct SeenBox {
  std::string caption;
  std::string text;
};

BOOL CALLBACK TakeOwnMessageBox(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (process != GetCurrentProcessId() || std::strcmp(name, "#32770") != 0 ||
      !IsWindowVisible(window)) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND FindOwnMessageBox() {
  HWND found = nullptr;
  EnumWindows(TakeOwnMessageBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Reads and answers the first message box of this process, as a user
// would; gives up after test::kWaitMs.
void AnswerMessageBox(SeenBox* seen) {
  HWND box = nullptr;
  if (!test::WaitUntil([&] { return (box = FindOwnMessageBox()) != nullptr; })) return;
  char text[kMessageSize] = {};
  GetWindowTextA(box, text, sizeof text);
  seen->caption = text;
  text[0] = '\0';
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  seen->text = text;
  std::fprintf(stderr, "box: %s, caption %d\n", seen->text.c_str(),
               seen->caption == test::Acp("卸载 Korvik"));
  std::fflush(stderr);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(LanguageFileTest, MemoryErrorEndsTheRunWithAMessage) {
  ASSERT_TRUE(test::WriteWholeFile(BesideProgram(), Example("\r\n")));
  EXPECT_EXIT(
      {
        SeenBox seen;
        std::thread answer(AnswerMessageBox, &seen);
        test::ScopedReallocationLimit limit(1);
        RunProgram(GetModuleHandleA(nullptr), "/nothing");
      },
      testing::ExitedWithCode(0), "box: Not enough memory \\(error 8\\)\\., caption 1");
}

}  // namespace
