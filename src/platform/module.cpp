#include "platform/module.h"

bool GetProgramPath(char* path, std::size_t capacity) {
  if (capacity == 0) return false;
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(capacity));
  // Older systems fill the buffer without a terminator when the path is cut.
  if (length == 0 || length >= capacity) {
    path[0] = '\0';
    return false;
  }
  path[length] = '\0';
  return true;
}

HMODULE LoadLibraryFile(const char* path) { return LoadLibraryA(path); }

void FreeLibraryFile(HMODULE library) {
  if (library != nullptr) FreeLibrary(library);
}

FARPROC FindExport(HMODULE library, const char* name) {
  return library != nullptr ? GetProcAddress(library, name) : nullptr;
}

FARPROC FindSystemExport(const char* systemLibrary, const char* name) {
  return FindExport(GetModuleHandleA(systemLibrary), name);
}

bool HasDialogResource(HMODULE module, const char* name) {
  return FindResourceA(module, name, MAKEINTRESOURCEA(5) /* RT_DIALOG */) != nullptr;
}
