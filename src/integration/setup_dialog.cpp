#include <windows.h>

#include <richedit.h>

#include "integration/apply.h"
#include "integration/settings_store.h"
#include "integration/setup_dialogs.h"
#include "integration/uninstall_entry.h"
#include "resources/resource.h"

namespace {

SetupDialogRun& RunOf(HWND dialog) {
  return *reinterpret_cast<SetupDialogRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void OnInitDialog(HWND dialog, const SetupDialogRun& run) {
  // A translation's template without a box would store that choice as off,
  // unseen in a silent run.
  if (!HasSettingsBoxes(dialog)) {
    EndDialog(dialog, kSetupUnusable);
    return;
  }
  // Kept for OK, which may come before this step ends.
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&run));
  IntegrationSettings settings{};
  ReadIntegrationSettings(settings);
  SettingsToDialog(dialog, settings);
  SetForegroundWindow(dialog);
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(run.icon));
  // The explanation sits on the dialog's own colour.
  SendDlgItemMessageA(dialog, IDC_EXPLANATION, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
  if (run.silent) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

void OnOk(HWND dialog) {
  IntegrationSettings settings{};
  SettingsFromDialog(dialog, settings);
  StoreIntegrationSettings(settings);
  ApplyIntegration(settings, RunOf(dialog).launchPath);
  // Written even when the apply step stopped for lack of rights: the
  // archiver's files are installed and must stay removable.
  RegisterUninstallEntry();
  EndDialog(dialog, kSetupConfirmed);
}

}  // namespace

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogPreHandler(dialog, message, wParam, "HELPIntegrationSettings", "SETUPDLG");
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog, *reinterpret_cast<const SetupDialogRun*>(lParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          OnOk(dialog);
          break;
        case IDCANCEL:
          EndDialog(dialog, 0);
          break;
        case IDC_SHELL_EXT: {
          // The two shell extension boxes follow the shell box; their marks
          // stay as they are.
          IntegrationSettings scratch{};
          SettingsFromDialog(dialog, scratch);
          SettingsToDialog(dialog, scratch);
          break;
        }
        case IDC_SELECT_ALL:
          SelectAllTypes(dialog);
          break;
        case IDC_CONTEXT_ITEMS:
          ShowContextItemsDialog(dialog);
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}
