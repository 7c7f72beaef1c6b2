#include "uninstall/integration_cleanup.h"

#include <windows.h>

#include "integration/app_path.h"
#include "integration/associations.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "integration/uninstall_entry.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

constexpr char kSavedOwnersKey[] = "Setup";  // below the product key

struct CleanupKey {
  HKEY root;
  const char* key;
  bool wholeTree;  // DelRegTree; else the key alone
};

// After the operations have undone their own work, in this order. ".rev" is
// released with the associations; the product key goes last (see
// DeleteProductKey).
const CleanupKey kCleanupKeys[] = {
    {HKEY_CLASSES_ROOT, "Korvik", true},      {HKEY_CLASSES_ROOT, "Korvik.ZIP", true},
    {HKEY_CLASSES_ROOT, "Korvik.REV", true},  {HKEY_LOCAL_MACHINE, kUninstallEntryKey, false},
    {HKEY_LOCAL_MACHINE, kAppPathKey, false},
};

bool IsSavedOwnersKey(const char* name) { return CompareNames(name, kSavedOwnersKey) == 0; }

// Deletes every subkey of spec under HKEY_CURRENT_USER but those keep names.
void DeleteSubKeysExcept(const char* spec, bool (*keep)(const char*)) {
  char name[kRegPathSize];
  DWORD index = 0;
  while (GetRegSubKeyName(HKEY_CURRENT_USER, spec, index, name, sizeof name)) {
    char child[kRegPathSize];
    if (keep(name) ||
        !FormatText(child, sizeof child, "%s%s%s", spec, spec[0] != '\0' ? "\\" : "", name)) {
      ++index;
      continue;
    }
    DelRegTree(HKEY_CURRENT_USER, child);
    // A key that stayed keeps its index.
    char next[kRegPathSize];
    if (GetRegSubKeyName(HKEY_CURRENT_USER, spec, index, next, sizeof next) &&
        CompareNames(next, name) == 0) {
      ++index;
    }
  }
}

bool AnySavedOwnerNeeded() {
  char name[kRegPathSize];
  for (DWORD index = 0;
       GetRegSubKeyName(HKEY_CURRENT_USER, kSavedOwnersKey, index, name, sizeof name); ++index) {
    if (NeedsSavedOwner(name)) return true;
  }
  return false;
}

// The whole product key, but for the saved former owners of extensions that
// are still the product's after a release that could not write them back:
// a later uninstall, run with the rights, gives them back.
void DeleteProductKey() {
  if (!AnySavedOwnerNeeded()) {
    DelRegTree(HKEY_CURRENT_USER, "");
    return;
  }
  DeleteSubKeysExcept("", IsSavedOwnersKey);
  DelRegValues(HKEY_CURRENT_USER, "");
  DeleteSubKeysExcept(kSavedOwnersKey, NeedsSavedOwner);
  DelRegValues(HKEY_CURRENT_USER, kSavedOwnersKey);
}

}  // namespace

void CleanUpIntegration() {
  IntegrationSettings allOff{};
  SetAssociations(allOff);
  ReleaseRecoveryExtension();
  NotifyAssociationsChanged(true);
  RegisterShellExtensions(allOff);
  UpdateShortcuts(allOff, nullptr);

  for (const CleanupKey& entry : kCleanupKeys) {
    if (entry.wholeTree) {
      DelRegTree(entry.root, entry.key);
    } else {
      DelRegKey(entry.root, entry.key);
    }
  }
  DeleteProductKey();
}
