#include "integration/setup_dialogs.h"
#include "localization/messages.h"
#include "platform/help.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "startup/run_state.h"

namespace {

// Opens a file of the installation folder (the current directory).
void OpenInstalledFile(const char* name) {
  char path[kPathSize];
  DWORD length = GetCurrentDirectoryA(kPathSize, path);
  if (length == 0 || length >= kPathSize) return;
  AppendBackslash(path);
  if (!AppendText(path, name)) return;  // a cut path would open another file
  OpenWithShell(path);
}

void OnInitDialog(HWND dialog) {
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(runState.dialogIcon));
  SendDlgItemMessageA(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(runState.boldFont),
                      FALSE);
  char folder[kPathSize];
  DWORD length = GetCurrentDirectoryA(kPathSize, folder);
  if (length == 0 || length >= kPathSize) folder[0] = '\0';
  SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder);
  if (runState.silent) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

}  // namespace

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  DialogPreHandler(dialog, message, wParam, nullptr, "DONEDLG");
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, 1);
          break;
        case IDC_RUN_KORVIK:
          OpenInstalledFile("Korvik.exe");
          break;
        case IDC_VIEW_LICENSE:
          OpenInstalledFile("license.txt");
          break;
        case IDC_ORDER:
          OpenInstalledFile("order.htm");
          break;
        case IDC_VISIT_HOME_PAGE:
          OpenWithShell(MessageText(IDS_HOME_PAGE));
          break;
        case IDC_READ_HELP:
          ShowHelp(dialog, nullptr);
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}
