// The uninstall run: confirmation, integration clean-up, deletion passes
// over "Uninstall.lst" and the self-removal batch file.
#pragma once

void RunUninstall();
