// The process-wide objects whose construction order matters. C++ orders
// static construction only within one file, so they all stand here, in the
// order they must be built; they are destroyed in the reverse order.
#include "localization/language_file.h"
#include "localization/messages.h"
#include "platform/paths.h"
#include "startup/run_state.h"

namespace {

struct LeadByteTableAtStartup {
  LeadByteTableAtStartup() { InitLeadByteTable(); }
} leadByteTableAtStartup;

}  // namespace

ExtResource extResource;
LanguageResources languageResources;
RunState runState;
