#include "integration/settings_store.h"

#include "integration/associations.h"
#include "platform/registry.h"
#include "resources/resource.h"

namespace {

constexpr char kLinksKey[] = "Setup\\Links";
constexpr char kSetupKey[] = "Setup";
constexpr std::size_t kOwnerNameSize = 80;

// The six flags after the type flags: their box, key, value and default.
struct OtherFlag {
  unsigned char IntegrationSettings::*field;
  int checkBox;
  const char* key;
  const char* value;
  DWORD defaultValue;
};

constexpr OtherFlag kOtherFlags[] = {
    {&IntegrationSettings::Desktop, IDC_DESKTOP, kLinksKey, "Desktop", 0},
    {&IntegrationSettings::StartMenu, IDC_START_MENU, kLinksKey, "StartMenu", 0},
    {&IntegrationSettings::Programs, IDC_PROGRAMS, kLinksKey, "Programs", 1},
    {&IntegrationSettings::ShellExt, IDC_SHELL_EXT, kSetupKey, "ShellExt", 1},
    {&IntegrationSettings::CascadedMenu, IDC_CASCADED_MENU, kSetupKey, "CascadedMenu", 0},
    {&IntegrationSettings::MenuIcons, IDC_MENU_ICONS, kSetupKey, "MenuIcons", 1},
};

unsigned char Flag(DWORD number) { return number != 0 ? 1 : 0; }

// Another program's class holds the extension: its default value names a
// class that is not the archiver's.
bool OwnedByAnotherProgram(const char* extension) {
  if (IsOwnAssociation(extension)) return false;
  char owner[kOwnerNameSize];
  GetRegString(HKEY_CLASSES_ROOT, extension, "", sizeof owner, "", owner);
  return owner[0] != '\0';
}

}  // namespace

void ReadIntegrationSettings(IntegrationSettings& settings) {
  for (std::size_t n = 0; n < kArchiveTypeCount; ++n) {
    const ArchiveType& type = kArchiveTypes[n];
    settings.TypeFlags[n] = Flag(GetRegNumber(type.settingsKey, "Set", 1));
    // Setup does not take JAR or ISO from a program that has them already.
    if ((n == kTypeJar || n == kTypeIso) && OwnedByAnotherProgram(type.extensions)) {
      settings.TypeFlags[n] = 0;
    }
  }
  for (const OtherFlag& flag : kOtherFlags) {
    settings.*flag.field = Flag(GetRegNumber(flag.key, flag.value, flag.defaultValue));
  }
}

void StoreIntegrationSettings(const IntegrationSettings& settings) {
  for (std::size_t n = 0; n < kArchiveTypeCount; ++n) {
    SetRegNumber(kArchiveTypes[n].settingsKey, "Set", Flag(settings.TypeFlags[n]));
  }
  for (const OtherFlag& flag : kOtherFlags) {
    SetRegNumber(flag.key, flag.value, Flag(settings.*flag.field));
  }
}

void SettingsFromDialog(HWND dialog, IntegrationSettings& settings) {
  for (std::size_t n = 0; n < kArchiveTypeCount; ++n) {
    settings.TypeFlags[n] = Flag(IsDlgButtonChecked(dialog, kArchiveTypes[n].checkBox));
  }
  for (const OtherFlag& flag : kOtherFlags) {
    settings.*flag.field = Flag(IsDlgButtonChecked(dialog, flag.checkBox));
  }
}

namespace {

constexpr int kClassNameSize = 16;

bool IsCheckBox(HWND dialog, int id) {
  HWND box = GetDlgItem(dialog, id);
  char className[kClassNameSize];
  return box != nullptr && GetClassNameA(box, className, kClassNameSize) > 0 &&
         lstrcmpiA(className, "Button") == 0;
}

}  // namespace

bool HasSettingsBoxes(HWND dialog) {
  for (const ArchiveType& type : kArchiveTypes) {
    if (!IsCheckBox(dialog, type.checkBox)) return false;
  }
  for (const OtherFlag& flag : kOtherFlags) {
    if (!IsCheckBox(dialog, flag.checkBox)) return false;
  }
  return true;
}

void SettingsToDialog(HWND dialog, const IntegrationSettings& settings) {
  for (std::size_t n = 0; n < kArchiveTypeCount; ++n) {
    CheckDlgButton(dialog, kArchiveTypes[n].checkBox, settings.TypeFlags[n]);
  }
  for (const OtherFlag& flag : kOtherFlags) {
    CheckDlgButton(dialog, flag.checkBox, settings.*flag.field);
  }
  EnableDialogItem(dialog, IDC_CASCADED_MENU, settings.ShellExt != 0);
  EnableDialogItem(dialog, IDC_MENU_ICONS, settings.ShellExt != 0);
}

void SelectAllTypes(HWND dialog) {
  for (const ArchiveType& type : kArchiveTypes) CheckDlgButton(dialog, type.checkBox, BST_CHECKED);
}

void EnableDialogItem(HWND dialog, int id, bool enable) {
  EnableWindow(GetDlgItem(dialog, id), enable);
}
