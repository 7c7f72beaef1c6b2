// The message that something of the installation is left for the user to
// delete by hand.
#pragma once

// Shows message 5105, a line feed, then message 5106 with path (or paths,
// one a line), with the caption 5104 and the information icon.
void ShowLeftoverWarning(const char* path);
