// The dialogs of a setup run: SETUPDLG (the integration choices),
// CONTEXTITEMS (opened from it) and DONEDLG (the completion screen).
#pragma once

#include <windows.h>

#include "platform/text.h"

// What SETUPDLG and DONEDLG take from the run: a pointer to it is their
// dialog parameter (DialogBoxParamA's last argument).
struct SetupDialogRun {
  bool silent = false;       // no questions: each dialog confirms itself
  HICON icon = nullptr;      // the dialogs' big icon
  HFONT boldFont = nullptr;  // DONEDLG's closing line
  // SETUPDLG's OK writes the program group folder here, to be opened
  // after the setup.
  char launchPath[kPathSize] = {};
};

// The first step of every dialog procedure: localizes the dialog and serves
// its Help button and F1 with the given topic (none for DONEDLG). Never
// consumes a message.
void DialogPreHandler(HWND dialog, UINT message, WPARAM wParam, const char* helpTopic,
                      const char* resourceName);

// SETUPDLG's result after OK: settings stored and applied, uninstall entry
// written. It ends with 0 when closed any other way. kSetupUnusable is what
// DialogBoxParamA gives when the dialog could not be made, and what the
// dialog ends with at once when its template lacks one of the choices'
// check boxes; nothing is stored then.
constexpr INT_PTR kSetupConfirmed = 1;
constexpr INT_PTR kSetupUnusable = -1;

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows CONTEXTITEMS over its owner; 1 after OK, 0 after Cancel.
INT_PTR ShowContextItemsDialog(HWND owner);
INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Always ends with 1.
INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
