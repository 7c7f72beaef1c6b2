#include "integration/setup_dialogs.h"

#include "localization/language_file.h"
#include "platform/help.h"
#include "resources/resource.h"

void DialogPreHandler(HWND dialog, UINT message, WPARAM wParam, const char* helpTopic,
                      const char* resourceName) {
  // WM_SETFONT comes while the dialog is built, before WM_INITDIALOG: the
  // layout is mirrored before any text is set.
  if (message == WM_SETFONT) languageResources.ApplyDirection(dialog);
  if (message == WM_INITDIALOG) languageResources.LocalizeDialog(dialog, resourceName);
  bool helpAsked =
      message == WM_HELP || (message == WM_COMMAND && LOWORD(wParam) == IDC_HELP_BUTTON);
  if (helpAsked && helpTopic != nullptr) ShowHelp(dialog, helpTopic);
}
