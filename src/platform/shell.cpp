#include "platform/shell.h"

#include <windows.h>

#include <shlobj.h>

void NotifyAssociationsChanged(bool flush) {
  SHChangeNotify(SHCNE_ASSOCCHANGED, flush ? SHCNF_FLUSH : 0, nullptr, nullptr);
}
