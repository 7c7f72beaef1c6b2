// Values that live for the whole run, set up by the entry routine before any
// dialog is shown.
#pragma once

#include <windows.h>

#include "platform/text.h"

struct RunState {
  bool silent = false;              // no questions, dialogs confirm themselves
  char launchPath[kPathSize] = {};  // program group folder opened after setup
  HICON dialogIcon = nullptr;       // "ORVICON", the dialogs' big icon
  HFONT boldFont = nullptr;         // the completion dialog's closing line
};

extern RunState runState;
