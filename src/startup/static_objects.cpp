// The process-wide objects whose construction order matters. C++ orders
// static construction only within one file, so they all stand here, in the
// order they must be built; they are destroyed in the reverse order.
#include "localization/language_file.h"
#include "localization/messages.h"
#include "platform/help.h"
#include "platform/memory_error.h"
#include "platform/paths.h"
#include "startup/run_state.h"

// Destroyed last: closes the help windows at exit.
UnloadHelpSystem unloadHelpSystem;

namespace {

struct LeadByteTableAtStartup {
  LeadByteTableAtStartup() { InitLeadByteTable(); }
} leadByteTableAtStartup;

}  // namespace

ErrorState errorState;
ExtResource extResource;
LanguageResources languageResources;
SetupDialogRun runState;
