// OLE on the program's thread for the whole run, and the library of the rich
// edit control that SETUPDLG's explanation is. The help viewer and shell
// links need OLE as well.
#pragma once

#include <windows.h>

// Starts OLE on this thread, then loads "riched32.dll". Gives the library;
// null when it is missing (the dialog then does not come up).
HMODULE StartOleAndRichEdit();

// Frees the library and ends OLE on this thread. Whatever needs OLE (the
// help viewer) must be closed before.
void EndOleAndRichEdit(HMODULE richEdit);
