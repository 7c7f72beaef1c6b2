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

namespace {

constexpr std::size_t kClassNameSize = 80;

struct CleanupKey {
  HKEY root;
  const char* key;
  bool wholeTree;          // DelRegTree; else the key alone
  const char* ownedWhile;  // deleted only while its default value names this
};

// After the operations have undone their own work, in this order. The
// product key goes last: the release of the associations reads the former
// owners saved below it.
const CleanupKey kCleanupKeys[] = {
    {HKEY_CLASSES_ROOT, "Korvik", true, nullptr},
    {HKEY_CLASSES_ROOT, "Korvik.ZIP", true, nullptr},
    {HKEY_CLASSES_ROOT, "Korvik.REV", true, nullptr},
    // A program that took ".rev" over since setup keeps it.
    {HKEY_CLASSES_ROOT, ".rev", true, "Korvik.REV"},
    {HKEY_LOCAL_MACHINE, kUninstallEntryKey, false, nullptr},
    {HKEY_LOCAL_MACHINE, kAppPathKey, false, nullptr},
    {HKEY_CURRENT_USER, "", true, nullptr},
};

bool StillOwned(const CleanupKey& entry) {
  if (entry.ownedWhile == nullptr) return true;
  char owner[kClassNameSize];
  GetRegString(entry.root, entry.key, "", sizeof owner, "", owner);
  return CompareNames(owner, entry.ownedWhile) == 0;
}

}  // namespace

void CleanUpIntegration() {
  IntegrationSettings allOff{};
  SetAssociations(allOff);
  NotifyAssociationsChanged(true);
  RegisterShellExtensions(allOff);
  UpdateShortcuts(allOff, nullptr);

  for (const CleanupKey& entry : kCleanupKeys) {
    if (!StillOwned(entry)) continue;
    if (entry.wholeTree) {
      DelRegTree(entry.root, entry.key);
    } else {
      DelRegKey(entry.root, entry.key);
    }
  }
}
