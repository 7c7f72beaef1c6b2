#include "integration/setup_dialogs.h"
#include "localization/messages.h"
#include "platform/registry.h"

namespace {

constexpr char kMenuItemsKey[] = "Setup\\MenuItems";

struct MenuItem {
  int checkBox;
  const char* value;
  DWORD defaultValue;
};

// The commands the shell extension offers, in the dialog's order.
constexpr MenuItem kMenuItems[] = {
    {101, "ExtrTo", 1},   {102, "ExtrHere", 1}, {103, "Extr", 1},    {104, "ExtrSep", 1},
    {105, "OpenSFX", 1},  {106, "AddTo", 1},    {107, "AddArc", 1},  {108, "EmailArc", 1},
    {109, "EmailOpt", 1}, {110, "Test", 0},     {111, "Convert", 0},
};

}  // namespace

INT_PTR ShowContextItemsDialog(HWND owner) {
  return DialogBoxParamA(DialogModule("CONTEXTITEMS"), "CONTEXTITEMS", owner,
                         ContextItemsDialogProc, 0);
}

INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  DialogPreHandler(dialog, message, wParam, "HELPContextItems", "CONTEXTITEMS");
  switch (message) {
    case WM_HELP:
      return TRUE;  // answered here, so the setup dialog does not open its topic too
    case WM_INITDIALOG:
      for (const MenuItem& item : kMenuItems) {
        CheckDlgButton(dialog, item.checkBox,
                       GetRegNumber(kMenuItemsKey, item.value, item.defaultValue));
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        for (const MenuItem& item : kMenuItems) {
          SetRegNumber(kMenuItemsKey, item.value, IsDlgButtonChecked(dialog, item.checkBox));
        }
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
