#include "platform/ole.h"

#include <ole2.h>

#include "platform/module.h"

HMODULE StartOleAndRichEdit() {
  OleInitialize(nullptr);
  return LoadLibraryFile("riched32.dll");
}

void EndOleAndRichEdit(HMODULE richEdit) {
  FreeLibraryFile(richEdit);
  OleUninitialize();
}
