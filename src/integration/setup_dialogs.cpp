#include "integration/setup_dialogs.h"

// The dialogs arrive with their templates; until then setup ends as if the
// settings dialog had been cancelled.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) EndDialog(dialog, 0);
  return FALSE;
}

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) EndDialog(dialog, 1);
  return FALSE;
}
