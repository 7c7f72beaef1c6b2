#include "integration/uninstall_entry.h"

#include <windows.h>

#include <cstddef>

#include "integration/archiver.h"
#include "localization/messages.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/resource.h"

void RegisterUninstallEntry() {
  char program[kPathSize];
  // An entry whose uninstall command names another file would be worse
  // than none.
  if (!GetProgramPath(program, sizeof program)) return;
  char icon[kPathSize];
  bool iconFits = PathBesideProgram(kArchiverFileName, icon, sizeof icon);

  SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayName",
               MessageText(IDS_PRODUCT_NAME));
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", program);
  if (iconFits) SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayIcon", icon);
  SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoModify", 1);
  SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoRepair", 1);
}
