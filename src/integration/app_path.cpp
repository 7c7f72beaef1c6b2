#include "integration/app_path.h"

#include <windows.h>

#include "installation/installation.h"
#include "integration/archiver.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"

bool RegisterAppPath() {
  char archiver[kPathSize];
  // No path to register; nothing says the rights are missing.
  if (!PathBesideProgram(kArchiverFileName, archiver, sizeof archiver)) return true;
  if (SetRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "", archiver) == ERROR_ACCESS_DENIED) {
    return false;
  }
  char folder[kPathSize];
  GetProgramFolder(folder, sizeof folder);
  SetRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", folder);
  return true;
}
