#include "uninstall/uninstall_run.h"

// The removal itself arrives with the list file and deletion passes.
void RunUninstall() {}
