// A small GUI program for the driver's own tests. Its exit code is the
// answer the user gave.
//   box CAPTION TEXT FLAGS   MessageBoxA(CAPTION, TEXT, FLAGS)
//   box --show-env NAME      shows the variable's value, or "(unset)"
//   box --show-cwd           shows the current folder
//   box ... --show-cmdline   shows the command line as received
//   box --dialog             a dialog with the usual kinds of controls
//   box --spawn              starts a child box ("Child <pid>"), then its own
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "box_ids.h"

namespace {

constexpr int kBadArguments = 99;
constexpr DWORD kMaxValue = 4096;

int Show(const char* caption, const char* text) {
  return MessageBoxA(nullptr, text, caption, MB_OK);
}

// An in-memory dialog template: DLGTEMPLATE, then one DLGITEMTEMPLATE per
// control, each DWORD-aligned.
class Template {
 public:
  explicit Template(const wchar_t* title) {
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    Dword(0);
    Word(0);  // item count, set by Add
    Word(0);
    Word(0);
    Word(200);
    Word(110);
    Word(0);  // no menu
    Word(0);  // standard dialog class
    Text(title);
    Word(8);
    Text(L"MS Shell Dlg");
  }
  void Add(WORD classAtom, int id, DWORD style, short x, short y, short cx, short cy,
           const wchar_t* text) {
    if (words_.size() % 2) Word(0);
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(WORD(x));
    Word(WORD(y));
    Word(WORD(cx));
    Word(WORD(cy));
    Word(WORD(id));
    Word(0xFFFF);
    Word(classAtom);
    Text(text);
    Word(0);  // no creation data
    ++words_[4];
  }
  LPCDLGTEMPLATEA Get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const wchar_t* s) {
    for (; *s; ++s) Word(*s);
    Word(0);
  }
  std::vector<WORD> words_;
};

constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      EndDialog(dialog,
                kBoxDialogOk + (IsDlgButtonChecked(dialog, kBoxCheck) == BST_CHECKED ? 1 : 0));
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case kBoxMore:
      MessageBoxA(dialog, kBoxNestedText, kBoxNestedCaption, MB_OK | MB_ICONINFORMATION);
      return TRUE;
  }
  return FALSE;
}

int ShowDialog() {
  Template t(L"Options");
  t.Add(kStatic, kBoxLabel, SS_LEFT, 7, 7, 180, 10, L"Choose:");
  t.Add(kButton, kBoxCheck, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 20, 120, 10, L"Keep settings");
  t.Add(kEdit, kBoxEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 34, 120, 12, L"initial");
  t.Add(kButton, kBoxDisabled, BS_PUSHBUTTON | WS_DISABLED, 7, 52, 60, 14, L"Disabled");
  t.Add(kButton, kBoxMore, BS_PUSHBUTTON | WS_TABSTOP, 75, 52, 60, 14, L"More...");
  t.Add(kButton, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 88, 50, 14, L"OK");
  t.Add(kButton, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 65, 88, 50, 14, L"Cancel");
  return int(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr, DialogProc, 0));
}

int Spawn() {
  char self[MAX_PATH];
  DWORD got = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (got == 0 || got >= MAX_PATH) return kBadArguments;
  char command[MAX_PATH + 64];
  // The child's caption names its parent, so that tests running side by
  // side each find their own.
  int n = wsprintfA(command, "\"%s\" \"%s %lu\" child 0", self, kBoxChildCaption,
                    static_cast<unsigned long>(GetCurrentProcessId()));
  if (n <= 0) return kBadArguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return kBadArguments;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return MessageBoxA(nullptr, "parent", kBoxParentCaption, MB_OK);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char value[kMaxValue];
  if (__argc == 3 && std::strcmp(__argv[1], "--show-env") == 0) {
    DWORD got = GetEnvironmentVariableA(__argv[2], value, kMaxValue);
    return Show("env", got > 0 && got < kMaxValue ? value : "(unset)");
  }
  if (__argc == 2 && std::strcmp(__argv[1], "--show-cwd") == 0) {
    DWORD got = GetCurrentDirectoryA(kMaxValue, value);
    return Show("cwd", got > 0 && got < kMaxValue ? value : "(error)");
  }
  // Last, not second: an unquoted path with blanks arrives as several.
  if (std::strcmp(__argv[__argc - 1], "--show-cmdline") == 0)
    return Show("cmdline", GetCommandLineA());
  if (__argc == 2 && std::strcmp(__argv[1], "--dialog") == 0) return ShowDialog();
  if (__argc == 2 && std::strcmp(__argv[1], "--spawn") == 0) return Spawn();
  if (__argc != 4) return kBadArguments;
  return MessageBoxA(nullptr, __argv[2], __argv[1], UINT(std::strtoul(__argv[3], nullptr, 0)));
}
