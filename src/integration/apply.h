// The setup's apply step: every integration operation in its fixed order.
#pragma once

#include "integration/settings.h"

// Applies the record: application path, shell extension, associations,
// program ids, shortcuts. Stops early, with false, when the application
// path or the program ids are refused for lack of rights. The shortcuts
// write the program group folder into launchPath (a path buffer).
bool ApplyIntegration(const IntegrationSettings& settings, char* launchPath);
