// The program's own module and the libraries it uses at run time: its path,
// libraries loaded by path, functions looked up by name, resources.
#pragma once

#include <windows.h>

#include <cstddef>

// The program's own full path. False, with path emptied, when the system
// gives none or one that does not fit: a cut path names another file.
bool GetProgramPath(char* path, std::size_t capacity);

// Loads a library by its path, or by a bare name as the system searches for
// it; null when it is missing or does not load.
HMODULE LoadLibraryFile(const char* path);
// Frees a library LoadLibraryFile gave; null is ignored.
void FreeLibraryFile(HMODULE library);

// The address of a function a library exports; null when the library is
// null or lacks it. In systemLibrary's form the library is one the process
// has loaded already ("kernel32.dll", "advapi32.dll"). Functions that older
// systems lack are looked up this way instead of being imported.
FARPROC FindExport(HMODULE library, const char* name);
FARPROC FindSystemExport(const char* systemLibrary, const char* name);

// The same as a pointer of the function's own type.
template <typename Function>
Function FindFunction(HMODULE library, const char* name) {
  // Through void(*)(): a cast between unrelated function types is flagged.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindExport(library, name)));
}
template <typename Function>
Function FindSystemFunction(const char* systemLibrary, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(FindSystemExport(systemLibrary, name)));
}

// True when module holds a dialog template of that name.
bool HasDialogResource(HMODULE module, const char* name);
