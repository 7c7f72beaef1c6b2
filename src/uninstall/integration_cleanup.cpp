#include "uninstall/integration_cleanup.h"

// The clean-up arrives with the integration operations it reverses; until
// then an uninstall removes the installed files only.
void CleanUpIntegration() {}
