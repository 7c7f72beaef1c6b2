// Reading and storing the integration choices under the product key, and
// moving them between a record and the check boxes of SETUPDLG.
#pragma once

#include <windows.h>

#include "integration/settings.h"

// Fills every used field from the registry, with the defaults where a
// value is missing. ".jar" and ".iso" start off while another program's
// class owns them.
void ReadIntegrationSettings(IntegrationSettings& settings);

// Writes the 20 used values back, each as 0 or 1.
void StoreIntegrationSettings(const IntegrationSettings& settings);

void SettingsFromDialog(HWND dialog, IntegrationSettings& settings);
// True when the dialog has a check box for each of the 20 choices: a box
// that is missing would read as off, and its type would be released.
bool HasSettingsBoxes(HWND dialog);
// Also enables the two shell extension boxes exactly when ShellExt is on.
void SettingsToDialog(HWND dialog, const IntegrationSettings& settings);
// Checks the 14 type boxes; the six other boxes keep their state.
void SelectAllTypes(HWND dialog);
void EnableDialogItem(HWND dialog, int id, bool enable);
