// Dialogs translated end to end: uninstall.exe "/setup" in a sandbox with a
// language file (and a language library), SETUPDLG and CONTEXTITEMS read
// from outside, then closed with Esc, which ends setup without applying
// anything. The keys are those of code page 936 texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/sandbox.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

using e2e::Sandbox;

// The English language pack of the build.
std::string EnglishLibrary() { return test::WindowsPath(KORVIK_ENGLISH_PACK_DIR) + "\\orvlng.dll"; }

struct Measures {
  RECT window{};
  RECT client{};
  int Width() const { return window.right - window.left; }
  int Height() const { return window.bottom - window.top; }
};

Measures Measure(HWND window) {
  Measures seen;
  GetWindowRect(window, &seen.window);
  GetClientRect(window, &seen.client);
  return seen;
}

// A running "/setup" with SETUPDLG shown.
class SetupRun {
 public:
  explicit SetupRun(const Sandbox& sandbox) {
    EXPECT_TRUE(driver::Start(process_, sandbox.Options("/setup")));
    dialog_ = driver::WaitForDialog(process_, e2e::kDialogTimeoutMs);
  }
  ~SetupRun() { Finish(); }
  SetupRun(const SetupRun&) = delete;
  SetupRun& operator=(const SetupRun&) = delete;

  HWND Dialog() const { return dialog_; }
  driver::Process& Process() { return process_; }

  // Esc: IDCANCEL ends the run without applying anything.
  void Finish() {
    if (!dialog_) return;
    EXPECT_TRUE(driver::Close(dialog_));
    EXPECT_TRUE(driver::WaitForClosed(dialog_, e2e::kDialogTimeoutMs));
    dialog_ = nullptr;
    DWORD code = 1;
    EXPECT_TRUE(driver::WaitForExit(process_, e2e::kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
  }

 private:
  driver::Process process_;
  HWND dialog_ = nullptr;
};

// SETUPDLG as the program's own template shows it, without language file.
Measures BuiltInSetupMeasures() {
  Sandbox sandbox("dialog-language-plain");
  SetupRun run(sandbox);
  Measures seen;
  EXPECT_NE(nullptr, run.Dialog());
  if (run.Dialog()) seen = Measure(run.Dialog());
  return seen;
}

TEST(DialogLanguageEndToEnd, SetupDialogsAreTranslatedAndScaled) {
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
  Measures plain = BuiltInSetupMeasures();
  ASSERT_GT(plain.client.right, 0);

  Sandbox sandbox("dialog-language");
  ASSERT_TRUE(
      sandbox.WriteFile("uninstall.lng",
                        "***messages***\r\n"
                        "c473ab19=\"Korvik Setup (file)\"\r\n"  // SETUPDLG caption
                        "762298c1=\"OK (file)\"\r\n"            // SETUPDLG "确定"
                        "c1fa6a65=\"&ZIP (file)\"\r\n"          // SETUPDLG "&ZIP"
                        "25981708=\"OK for DONEDLG only\"\r\n"  // DONEDLG "确定": not SETUPDLG's
                        "9b889d24=\"125*110\"\r\n"              // SETUPDLG scale
                        "259392d5=\"Context menu items (file)\"\r\n"  // CONTEXTITEMS caption
                        "e08794f9=\"Cancel (file)\"\r\n"));           // CONTEXTITEMS "取消"
  SetupRun run(sandbox);
  HWND dialog = run.Dialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ("Korvik Setup (file)", driver::WindowText(dialog));
  EXPECT_EQ("OK (file)", driver::ItemText(dialog, IDOK));
  EXPECT_EQ("&ZIP (file)", driver::ItemText(dialog, IDC_TYPE_FIRST + 1));
  // Texts without an entry keep the template's.
  EXPECT_EQ(test::Acp("帮助"), driver::ItemText(dialog, IDC_HELP_BUTTON));
  EXPECT_EQ("CAB", driver::ItemText(dialog, IDC_TYPE_FIRST + 2));

  // The window grows by a quarter of its client width and a tenth of its
  // client height, plus the extra pixel of each frame measure.
  Measures scaled = Measure(dialog);
  EXPECT_EQ(plain.Width() + plain.client.right * 125 / 100 - plain.client.right + 1,
            scaled.Width());
  EXPECT_EQ(plain.Height() + plain.client.bottom * 110 / 100 - plain.client.bottom + 1,
            scaled.Height());
  RECT ok;
  GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
  EXPECT_LE(ok.right, scaled.window.right);
  EXPECT_LE(ok.bottom, scaled.window.bottom);

  // CONTEXTITEMS has no scale entry: translated, not resized.
  ASSERT_TRUE(driver::Press(dialog, IDC_CONTEXT_ITEMS));
  HWND items =
      driver::WaitForDialog(run.Process(), "Context menu items (file)", e2e::kDialogTimeoutMs);
  ASSERT_NE(nullptr, items);
  EXPECT_EQ("Cancel (file)", driver::ItemText(items, IDCANCEL));
  EXPECT_EQ(test::Acp("确定"), driver::ItemText(items, IDOK));
  ASSERT_TRUE(driver::Close(items));
  ASSERT_TRUE(driver::WaitForClosed(items, e2e::kDialogTimeoutMs));
  run.Finish();
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
}

TEST(DialogLanguageEndToEnd, RtlEntryMirrorsTheDialogs) {
  struct Row {
    const char* name;
    const char* direction;
    bool mirrored;
  };
  const Row rows[] = {
      {"RTL", "RTL", true},
      {"lower case", "rtl", false},
  };
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox sandbox("dialog-language-rtl");
    ASSERT_TRUE(sandbox.WriteFile(
        "uninstall.lng", std::string("***messages***\r\n50a17ae8=\"") + row.direction + "\"\r\n"));
    SetupRun run(sandbox);
    ASSERT_NE(nullptr, run.Dialog());
    EXPECT_EQ(row.mirrored, (GetWindowLongA(run.Dialog(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0);
    ASSERT_TRUE(driver::Press(run.Dialog(), IDC_CONTEXT_ITEMS));
    HWND items =
        driver::WaitForDialog(run.Process(), test::Acp("关联菜单项目"), e2e::kDialogTimeoutMs);
    ASSERT_NE(nullptr, items);
    EXPECT_EQ(row.mirrored, (GetWindowLongA(items, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0);
    ASSERT_TRUE(driver::Close(items));
    ASSERT_TRUE(driver::WaitForClosed(items, e2e::kDialogTimeoutMs));
  }
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
}

// With a language file and a language library, the dialogs come from the
// library (and are translated through the file by the library's texts);
// the file's entries for the built-in dialog texts are not used.
TEST(DialogLanguageEndToEnd, DialogsComeFromTheLibraryBeforeTheFile) {
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
  Sandbox sandbox("dialog-language-library");
  ASSERT_TRUE(sandbox.CopyIn(EnglishLibrary(), "orvlng.dll"));
  ASSERT_TRUE(
      sandbox.WriteFile("uninstall.lng",
                        "***messages***\r\n"
                        "c473ab19=\"Korvik Setup (file)\"\r\n"  // the built-in caption
                        "762298c1=\"OK (file)\"\r\n"            // the built-in "确定"
                        "e6a9b8d7=\"Help (file)\"\r\n"));       // the library's "Help" in SETUPDLG
  SetupRun run(sandbox);
  HWND dialog = run.Dialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ("Korvik setup", driver::WindowText(dialog));
  EXPECT_EQ("OK", driver::ItemText(dialog, IDOK));
  EXPECT_EQ("Help (file)", driver::ItemText(dialog, IDC_HELP_BUTTON));
  EXPECT_EQ("Select &all", driver::ItemText(dialog, IDC_SELECT_ALL));
  run.Finish();
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
}

// The English pack of the build: its "uninstall.lng" alone turns the
// built-in Chinese dialogs and messages into English on a code page 936
// system, and its library alone gives English dialogs.
TEST(DialogLanguageEndToEnd, EnglishPackTranslatesTheSetupDialogs) {
  struct Row {
    const char* name;
    bool file;
    bool library;
  };
  const Row rows[] = {
      {"language file", true, false},
      {"language library", false, true},
      {"both", true, true},
  };
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox sandbox("dialog-language-english");
    if (row.file) {
      ASSERT_TRUE(sandbox.CopyIn(test::WindowsPath(KORVIK_ENGLISH_PACK_DIR) + "\\uninstall.lng",
                                 "uninstall.lng"));
    }
    if (row.library) {
      ASSERT_TRUE(sandbox.CopyIn(EnglishLibrary(), "orvlng.dll"));
    }
    SetupRun run(sandbox);
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Korvik setup", driver::WindowText(dialog));
    EXPECT_EQ("OK", driver::ItemText(dialog, IDOK));
    EXPECT_EQ("Help", driver::ItemText(dialog, IDC_HELP_BUTTON));
    EXPECT_EQ("Add Korvik to &Desktop", driver::ItemText(dialog, IDC_DESKTOP));
    // The explanation holds a line break and a private-use character of
    // the code page: its key is made over the bytes the program reads.
    std::string explanation = driver::ItemText(dialog, IDC_EXPLANATION);
    EXPECT_EQ(0u, explanation.find("These options control how Korvik")) << test::Utf8(explanation);
    ASSERT_TRUE(driver::Press(dialog, IDC_CONTEXT_ITEMS));
    HWND items = driver::WaitForDialog(run.Process(), "Context menu items", e2e::kDialogTimeoutMs);
    ASSERT_NE(nullptr, items);
    EXPECT_EQ("Cancel", driver::ItemText(items, IDCANCEL));
    EXPECT_EQ("&Extract to <Folder\\>", driver::ItemText(items, IDC_MENU_ITEM_FIRST + 2));
    ASSERT_TRUE(driver::Close(items));
    ASSERT_TRUE(driver::WaitForClosed(items, e2e::kDialogTimeoutMs));
  }
  test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Korvik");
}

// The English "uninstall.lng" alone: the warning's texts in English.
TEST(DialogLanguageEndToEnd, EnglishPackFileTranslatesTheMessages) {
  Sandbox sandbox("dialog-language-english-messages");
  ASSERT_TRUE(sandbox.CopyIn(test::WindowsPath(KORVIK_ENGLISH_PACK_DIR) + "\\uninstall.lng",
                             "uninstall.lng"));
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, sandbox.Options("/warning")));
  HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("Uninstall Korvik", driver::WindowText(box));
  EXPECT_EQ("Uninstall finished\nPlease delete " + sandbox.ProgramPath() + " by hand",
            driver::MessageBoxText(box));
  EXPECT_TRUE(driver::Press(box, IDOK));
  EXPECT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
  DWORD code = 1;
  EXPECT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
}

}  // namespace
