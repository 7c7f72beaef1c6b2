#include "installation/installation.h"
#include "integration/archiver.h"
#include "integration/setup_dialogs.h"
#include "localization/messages.h"
#include "platform/help.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

// The installation folder is the program's own, whatever the current
// folder: the setup may be started from anywhere. Empty when unknown.
void GetInstallFolder(char (&folder)[kPathSize]) { GetProgramFolder(folder, kPathSize); }

// Opens a file of the installation folder, started in that folder.
void OpenInstalledFile(const char* name) {
  char path[kPathSize];
  char folder[kPathSize];
  GetInstallFolder(folder);
  // A cut path would open another file.
  if (!PathBesideProgram(name, path, kPathSize) || folder[0] == '\0') return;
  OpenWithShell(path, folder);
}

void OnInitDialog(HWND dialog, const SetupDialogRun& run) {
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(run.icon));
  SendDlgItemMessageA(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(run.boldFont),
                      FALSE);
  char folder[kPathSize];
  GetInstallFolder(folder);
  SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder);
  if (run.silent) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

}  // namespace

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogPreHandler(dialog, message, wParam, nullptr, "DONEDLG");
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog, *reinterpret_cast<const SetupDialogRun*>(lParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, 1);
          break;
        case IDC_RUN_KORVIK:
          OpenInstalledFile(kArchiverFileName);
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
