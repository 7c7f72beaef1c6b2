#include "integration/uninstall_entry.h"

#include <windows.h>

#include <cstddef>

#include "localization/messages.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

constexpr char kIconFileName[] = "Korvik.exe";

// The program's own path. False when it does not fit: a cut path would
// name another file.
bool ProgramPath(char* path, std::size_t size) {
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
  return length != 0 && length < size;
}

}  // namespace

void RegisterUninstallEntry() {
  char program[kPathSize];
  // An entry whose uninstall command names another file would be worse
  // than none.
  if (!ProgramPath(program, sizeof program)) return;
  char icon[kPathSize];
  bool iconFits = PathBesideProgram(kIconFileName, icon, sizeof icon);

  SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayName",
               MessageText(IDS_PRODUCT_NAME));
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", program);
  if (iconFits) SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayIcon", icon);
  SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoModify", 1);
  SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoRepair", 1);
}
