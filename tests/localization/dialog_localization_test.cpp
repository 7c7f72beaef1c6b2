// Dialogs translated, rescaled and mirrored as they open: dialogs made here
// from templates in memory, with a language file written for each case.
// The keys are those of code page 936 texts.
#include "localization/dialog_localization.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localization/language_file.h"
#include "localization/messages.h"
#include "support/test_support.h"

namespace {

constexpr int kGarbageInt = static_cast<int>(0xBDBDBDBD);
const char kFolder[] = "C:\\KorvikTests\\dialog-localization";

std::string LanguageFilePath() { return std::string(kFolder) + "\\uninstall.lng"; }

// One control of a template: a predefined class by its atom, or a class by
// name when atom is 0.
struct Control {
  WORD atom;
  const char* className;
  std::string text;  // UTF-8
  DWORD style;
  short x, y, cx, cy;
  WORD id;
};
constexpr WORD kButton = 0x0080;
constexpr WORD kStatic = 0x0082;
constexpr WORD kComboBox = 0x0085;

// A plain DIALOG template (not DIALOGEX), as the program's resources hold.
class DialogTemplate {
 public:
  DialogTemplate(const std::string& caption, short cx, short cy)
      : caption_(caption), cx_(cx), cy_(cy) {}
  void Add(const Control& control) { controls_.push_back(control); }

  const DLGTEMPLATE* Build() {
    words_.clear();
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    PutDword(style);
    PutDword(0);
    words_.push_back(static_cast<WORD>(controls_.size()));
    for (short value : {short{10}, short{10}, cx_, cy_}) words_.push_back(static_cast<WORD>(value));
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the dialog class
    PutText(caption_);
    words_.push_back(9);
    PutText("MS Shell Dlg");
    for (const Control& control : controls_) {
      if (words_.size() % 2) words_.push_back(0);  // items start on a DWORD
      PutDword(control.style | WS_CHILD | WS_VISIBLE);
      PutDword(0);
      for (short value : {control.x, control.y, control.cx, control.cy}) {
        words_.push_back(static_cast<WORD>(value));
      }
      words_.push_back(control.id);
      if (control.atom) {
        words_.push_back(0xFFFF);
        words_.push_back(control.atom);
      } else {
        PutText(control.className);
      }
      PutText(control.text);
      words_.push_back(0);  // no creation data
    }
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }

 private:
  void PutDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void PutText(const std::string& utf8) {
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(count);
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), count);
    for (wchar_t c : wide) words_.push_back(static_cast<WORD>(c));
  }

  std::string caption_;
  short cx_, cy_;
  std::vector<Control> controls_;
  std::vector<WORD> words_;
};

// What the dialog procedure saw, and what it does on the way.
struct DialogRun {
  const LanguageResources* language = nullptr;
  const char* name = nullptr;
  bool localizeOnInit = false;
  bool sawInit = false;
  LONG exStyleAtInit = 0;
};
DialogRun* currentRun = nullptr;

// The order of the program's dialog procedures: direction on WM_SETFONT,
// translation on WM_INITDIALOG.
INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (!currentRun) return FALSE;
  if (message == WM_SETFONT) currentRun->language->ApplyDirection(dialog);
  if (message == WM_INITDIALOG) {
    currentRun->sawInit = true;
    currentRun->exStyleAtInit = GetWindowLongA(dialog, GWL_EXSTYLE);
    if (currentRun->localizeOnInit) currentRun->language->LocalizeDialog(dialog, currentRun->name);
    return TRUE;
  }
  return FALSE;
}

// A modeless dialog made from a template, destroyed with the object.
class TestDialog {
 public:
  TestDialog(DialogTemplate& tmpl, DialogRun& run) {
    currentRun = &run;
    window_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), tmpl.Build(), nullptr,
                                         TestDialogProc, 0);
    currentRun = nullptr;
  }
  ~TestDialog() {
    if (window_) DestroyWindow(window_);
  }
  TestDialog(const TestDialog&) = delete;
  TestDialog& operator=(const TestDialog&) = delete;
  HWND Window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

std::string Text(HWND window) {
  char text[kDialogTextSize];
  std::memset(text, '\xBD', sizeof text);
  GetWindowTextA(window, text, static_cast<int>(sizeof text));
  return text;
}

SIZE WindowSize(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Position in the dialog's client area, and size.
RECT ClientPlace(HWND dialog, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Gives the dialog a client area of the given size in pixels.
void SetClientSize(HWND dialog, int width, int height) {
  RECT client;
  GetClientRect(dialog, &client);
  SIZE size = WindowSize(dialog);
  SetWindowPos(dialog, nullptr, 0, 0, size.cx + width - client.right,
               size.cy + height - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
}

class DialogLocalizationTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    DeleteFileA(LanguageFilePath().c_str());
    RemoveDirectoryA(kFolder);
  }

  // Loads a language file of these lines (UTF-8 here, code page 936 in the
  // file) after the marker.
  void LoadLines(const std::vector<std::string>& lines) {
    std::string file = "***messages***\r\n";
    for (const std::string& line : lines) file += test::Acp(line.c_str()) + "\r\n";
    test::MakeFolders(kFolder);
    ASSERT_TRUE(test::WriteWholeFile(LanguageFilePath(), file));
    language.Load(LanguageFilePath().c_str(), ResourceModule());
    ASSERT_TRUE(language.IsLoaded());
  }

  LanguageResources language;
};

TEST_F(DialogLocalizationTest, ScaleEntryIsReadAsWidthStarHeight) {
  struct Row {
    const char* entry;  // nullptr: no entry
    int width, height;
    bool applies;
  };
  const Row rows[] = {
      {"125*110", 125, 110, true},
      {"100*100", 100, 100, false},
      // A missing, zero or negative number is 100: the dialog keeps that
      // measure rather than collapse.
      {"*110", 100, 110, true},
      {"125*", 125, 100, true},
      {"0*-5", 100, 100, false},
      {"-50*80", 100, 80, true},
      {"125", 100, 100, false},
      {nullptr, 100, 100, false},
      {" 90*80 wide", 90, 80, true},
      {"100*100x", 100, 100, false},
      // Held within 50 to 400 percent: "125*11" would make the dialog a strip.
      {"99999999999*1", 400, 50, true},
      {"125*11", 125, 50, true},
      {"49*401", 50, 400, true},
      {"50*400", 50, 400, true},
      {"1*100", 50, 100, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry ? row.entry : "no entry");
    std::vector<std::string> lines = {"debae517=\"55*66\""};  // DONEDLG's, never SETUPDLG's
    if (row.entry) lines.push_back(std::string("9b889d24=\"") + row.entry + "\"");
    LoadLines(lines);
    int width = kGarbageInt, height = kGarbageInt;
    EXPECT_EQ(row.applies, language.ReadDialogScale("SETUPDLG", &width, &height));
    EXPECT_EQ(row.width, width);
    EXPECT_EQ(row.height, height);
  }
}

TEST_F(DialogLocalizationTest, DialogGrowsByItsScaleWithTheFrameMeasures) {
  struct Row {
    const char* entry;
    int grownWidth, grownHeight;
    // A child at (40, 24), 80 by 20 pixels: its place afterwards.
    int x, width, height;
  };
  const Row rows[] = {
      // Each frame measure counts one pixel more than the frame.
      {"125*110", 101, 31, 50, 101, 23},
      {"100*100", 0, 0, 40, 80, 20},
      {"abc", 0, 0, 40, 80, 20},
      // A missing number keeps that measure.
      {"*110", 1, 31, 40, 81, 23},
      {"50*50", -199, -149, 20, 40, 10},
      // 11 percent would leave a 494 by 364 client area 40 pixels high.
      {"125*11", 101, -149, 50, 101, 10},
      {"500*1", 1201, -149, 160, 324, 10},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    LoadLines({std::string("9b889d24=\"") + row.entry + "\""});
    DialogTemplate tmpl("Caption", 200, 150);
    tmpl.Add({kButton, nullptr, "Item", BS_PUSHBUTTON, 1, 1, 10, 10, 100});
    DialogRun run;
    run.language = &language;
    TestDialog dialog(tmpl, run);
    ASSERT_NE(nullptr, dialog.Window());
    HWND dialogWindow = dialog.Window();
    HWND child = GetDlgItem(dialogWindow, 100);
    SetClientSize(dialogWindow, 400, 300);
    SetWindowPos(child, nullptr, 40, 24, 80, 20, SWP_NOZORDER);
    SIZE before = WindowSize(dialogWindow);
    RECT childBefore = ClientPlace(dialogWindow, child);

    language.LocalizeDialog(dialogWindow, "SETUPDLG");

    SIZE after = WindowSize(dialogWindow);
    EXPECT_EQ(row.grownWidth, after.cx - before.cx);
    EXPECT_EQ(row.grownHeight, after.cy - before.cy);
    RECT place = ClientPlace(dialogWindow, child);
    EXPECT_EQ(row.x, place.left);
    EXPECT_EQ(row.width, place.right - place.left);
    EXPECT_EQ(row.height, place.bottom - place.top);
    if (row.grownHeight == 0) {
      EXPECT_EQ(childBefore.top, place.top);
    }
  }
}

TEST_F(DialogLocalizationTest, CaptionAndChildTextsAreTranslatedPerDialog) {
  LoadLines({
      "481cf51d=\"Translated caption\"",  // SETUPDLG "Caption"
      "f135c165=\"Translated item\"",     // SETUPDLG "Item"
      "762298c1=\"OK\"",                  // SETUPDLG "确定"
      "debae517=\"100*100x\"",            // DONEDLG's scale: what an empty text would get
      "9b889d24=\"100*100x\"",            // SETUPDLG's
  });
  struct Row {
    const char* dialogName;
    const char* caption;
    const char* item;
    const char* ok;  // UTF-8
  };
  const Row rows[] = {
      {"SETUPDLG", "Translated caption", "Translated item", "OK"},
      // The same texts in another dialog have other keys.
      {"DONEDLG", "Caption", "Item", "确定"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dialogName);
    DialogTemplate tmpl("Caption", 200, 150);
    tmpl.Add({kButton, nullptr, "Item", BS_PUSHBUTTON, 1, 1, 50, 14, 100});
    tmpl.Add({kButton, nullptr, "确定", BS_PUSHBUTTON, 1, 20, 50, 14, IDOK});
    tmpl.Add({kStatic, nullptr, "", SS_LEFT, 1, 40, 50, 8, 101});
    DialogRun run;
    run.language = &language;
    run.name = row.dialogName;
    run.localizeOnInit = true;
    TestDialog dialog(tmpl, run);
    ASSERT_NE(nullptr, dialog.Window());
    EXPECT_TRUE(run.sawInit);
    EXPECT_EQ(row.caption, Text(dialog.Window()));
    EXPECT_EQ(row.item, Text(GetDlgItem(dialog.Window(), 100)));
    EXPECT_EQ(test::Acp(row.ok), Text(GetDlgItem(dialog.Window(), IDOK)));
    // An empty static is not looked up: its key would be the scale entry's.
    EXPECT_EQ("", Text(GetDlgItem(dialog.Window(), 101)));
  }
}

TEST_F(DialogLocalizationTest, WithoutLanguageFileNothingChanges) {
  language.Load((std::string(kFolder) + "\\missing.lng").c_str(), ResourceModule());
  ASSERT_FALSE(language.IsLoaded());
  DialogTemplate tmpl("Korvik 安装", 200, 150);
  tmpl.Add({kButton, nullptr, "完成", BS_PUSHBUTTON, 1, 1, 50, 14, 100});
  DialogRun run;
  run.language = &language;
  run.name = "DONEDLG";
  TestDialog dialog(tmpl, run);
  ASSERT_NE(nullptr, dialog.Window());
  SIZE before = WindowSize(dialog.Window());
  RECT childBefore = ClientPlace(dialog.Window(), GetDlgItem(dialog.Window(), 100));
  language.LocalizeDialog(dialog.Window(), "DONEDLG");
  SIZE after = WindowSize(dialog.Window());
  RECT childAfter = ClientPlace(dialog.Window(), GetDlgItem(dialog.Window(), 100));
  EXPECT_EQ(before.cx, after.cx);
  EXPECT_EQ(before.cy, after.cy);
  EXPECT_TRUE(EqualRect(&childBefore, &childAfter));
  EXPECT_EQ(test::Acp("Korvik 安装"), Text(dialog.Window()));
  EXPECT_EQ(test::Acp("完成"), Text(GetDlgItem(dialog.Window(), 100)));
}

TEST_F(DialogLocalizationTest, DropDownComboBoxKeepsRoomForItsList) {
  LoadLines({"9b889d24=\"100*200\""});
  DialogTemplate tmpl("Caption", 200, 150);
  tmpl.Add({kComboBox, nullptr, "", CBS_DROPDOWNLIST, 10, 10, 80, 60, 100});
  tmpl.Add({kComboBox, nullptr, "", CBS_DROPDOWN, 10, 30, 80, 60, 101});
  tmpl.Add({kComboBox, nullptr, "", CBS_SIMPLE, 10, 50, 80, 40, 102});
  tmpl.Add({0, "combobox", "", CBS_DROPDOWNLIST, 100, 10, 80, 60, 103});
  DialogRun run;
  run.language = &language;
  TestDialog dialog(tmpl, run);
  ASSERT_NE(nullptr, dialog.Window());
  struct Row {
    int id;
    bool dropDown;
  };
  const Row rows[] = {{100, true}, {101, true}, {102, false}, {103, true}};
  struct Before {
    int height;
    int dropped;
  };
  std::vector<Before> before;
  for (const Row& row : rows) {
    HWND combo = GetDlgItem(dialog.Window(), row.id);
    RECT rect, dropped;
    GetWindowRect(combo, &rect);
    SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    before.push_back({rect.bottom - rect.top, dropped.bottom - dropped.top});
  }
  language.LocalizeDialog(dialog.Window(), "SETUPDLG");
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    SCOPED_TRACE(rows[i].id);
    HWND combo = GetDlgItem(dialog.Window(), rows[i].id);
    RECT rect, dropped;
    GetWindowRect(combo, &rect);
    SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    if (rows[i].dropDown) {
      // Given only the box's own scaled height, the list would have almost
      // no room; with the scaled list added it keeps at least its own
      // scaled height (where it starts differs between Windows and Wine).
      EXPECT_LE((before[i].dropped + 1) * 2, dropped.bottom - dropped.top);
    } else {
      EXPECT_EQ((before[i].height + 1) * 2, rect.bottom - rect.top);
    }
  }
}

TEST_F(DialogLocalizationTest, AtMostFiveHundredTwelveChildrenAreHandled) {
  LoadLines({"f135c165=\"Done\""});  // SETUPDLG "Item"
  DialogTemplate tmpl("Caption", 200, 150);
  const int count = kMaxLocalizedChildren + 3;
  for (int i = 0; i < count; ++i) {
    tmpl.Add({kStatic, nullptr, "Item", SS_LEFT, 1, 1, 10, 8, static_cast<WORD>(1000 + i)});
  }
  DialogRun run;
  run.language = &language;
  run.name = "SETUPDLG";
  run.localizeOnInit = true;
  TestDialog dialog(tmpl, run);
  ASSERT_NE(nullptr, dialog.Window());
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog.Window(), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  ASSERT_EQ(static_cast<std::size_t>(count), children.size());
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(i < kMaxLocalizedChildren ? "Done" : "Item", Text(children[i])) << "child " << i;
  }
}

TEST_F(DialogLocalizationTest, RightToLeftLayoutComesBeforeTheTranslation) {
  struct Row {
    const char* name;
    const char* entry;  // nullptr: no file
    bool mirrored;
  };
  const Row rows[] = {
      {"RTL", "50a17ae8=\"RTL\"", true},
      {"lower case", "50a17ae8=\"rtl\"", false},
      {"other text", "50a17ae8=\"LTR\"", false},
      {"no file", nullptr, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.entry) {
      LoadLines({row.entry});
    } else {
      language.Load((std::string(kFolder) + "\\missing.lng").c_str(), ResourceModule());
    }
    EXPECT_EQ(row.mirrored, language.RightToLeft());
    for (const char* dialogName : {"SETUPDLG", "DONEDLG", "CONTEXTITEMS"}) {
      SCOPED_TRACE(dialogName);
      DialogTemplate tmpl("Caption", 200, 150);
      tmpl.Add({kButton, nullptr, "Item", BS_PUSHBUTTON, 1, 1, 50, 14, 100});
      DialogRun run;
      run.language = &language;
      run.name = dialogName;
      run.localizeOnInit = true;
      TestDialog dialog(tmpl, run);
      ASSERT_NE(nullptr, dialog.Window());
      ASSERT_TRUE(run.sawInit);
      EXPECT_EQ(row.mirrored, (run.exStyleAtInit & WS_EX_LAYOUTRTL) != 0);
      EXPECT_EQ(row.mirrored,
                (GetWindowLongA(dialog.Window(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0);
    }
  }
}

}  // namespace
