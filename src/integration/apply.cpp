#include "integration/apply.h"

#include "integration/app_path.h"
#include "integration/associations.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"

bool ApplyIntegration(const IntegrationSettings& settings, char* launchPath) {
  // The application path's first write tells whether setup has the rights
  // to integrate at all.
  if (!RegisterAppPath()) return false;
  RegisterShellExtensions(settings);
  SetAssociations(settings);
  if (!RegisterProgramIds()) return false;
  UpdateShortcuts(settings, launchPath);
  return true;
}
