#include "uninstall/leftover_warning.h"

#include <windows.h>

#include "localization/messages.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "uninstall/deletion_passes.h"

namespace {

// First line, a line feed, then the second line with whole paths in it:
// one, or the files a run could neither remove nor schedule, one a line.
constexpr std::size_t kWarningSize = kMessageSize + 1 + kMessageSize + kLeftoverListSize;

}  // namespace

void ShowLeftoverWarning(const char* path) {
  static char text[kWarningSize];
  CopyText(text, MessageText(IDS_UNINSTALL_DONE));
  AppendText(text, "\n");
  std::size_t used = BoundedLength(text, kWarningSize);
  FormatText(text + used, kWarningSize - used, MessageFormatForPath(IDS_DELETE_BY_HAND), path);
  MessageBoxA(nullptr, text, MessageText(IDS_UNINSTALL_CAPTION),
              MB_ICONINFORMATION | MB_SETFOREGROUND);
}
