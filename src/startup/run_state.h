// The values that live for the whole run, set up by the entry routine before
// any dialog is shown: the record the setup dialogs are given.
#pragma once

#include "integration/setup_dialogs.h"

extern SetupDialogRun runState;
