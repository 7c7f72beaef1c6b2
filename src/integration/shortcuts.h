// The archiver's shortcuts: a link on the desktop, one in the start menu and
// a program group folder with three links, created or removed by the flags
// of an integration settings record.
#pragma once

#include "integration/settings.h"

// For each place, a flag that is on creates its links and a flag that is off
// removes them (Desktop, StartMenu, Programs); an all-zero record removes
// everything. The folders follow the system family: the common desktop and
// start menu from major version 6 on, the user's before; program groups in
// the user's and, on the NT family, the common Programs folder. A place
// whose folder the shell cannot find is left alone.
//
// launchPath is null or a buffer of kPathSize bytes. With Programs on it
// receives the program group folder: the common group when that folder
// exists after creation, else the user's group. Otherwise it is untouched.
void UpdateShortcuts(const IntegrationSettings& settings, char* launchPath);
