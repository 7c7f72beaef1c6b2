// Registration of the archiver's Explorer extension libraries with the
// shell: a 32-bit library, and on 64-bit Windows a 64-bit one beside it.
#pragma once

#include "integration/settings.h"

inline constexpr char kShellExtClassId32[] = "{6F2A9C31-5B17-4C3E-8A0D-D3B58C1E47A2}";
inline constexpr char kShellExtClassId64[] = "{6F2A9C31-5B27-4C3E-8A0D-D3B58C1E47A2}";
inline constexpr char kShellExtLibrary32[] = "orvext.dll";
inline constexpr char kShellExtLibrary64[] = "orvext64.dll";

// Registers the libraries when settings.ShellExt is on and removes their
// registration when it is off; no other field is read. "orvext.dll" is
// always handled, "orvext64.dll" only under WOW64, where the 32-bit
// library's handler keys are named "Korvik32" so that both can be listed.
void RegisterShellExtensions(const IntegrationSettings& settings);

// One library, found beside the program by libraryName, with its class id
// and the name of its handler keys below "*", "Folder", "Drive" and
// "Directory". Registering writes the class keys only when the library file
// exists, in the 64-bit registry view when is64; every other key goes to the
// process's own view. Removing deletes the class keys in the view they were
// written in, the handler keys named by the class id and both drop handler
// keys, and leaves the name-keyed handler keys without a default value.
// Only what is still the product's goes: a key or value is taken when its
// default value is what the product wrote there (the class name "Korvik",
// a path naming the library file, nothing or "" in a handler key named by
// the class id, one of the product's class ids), in any letter case; a
// registry link in any of these places is never followed.
void RegisterShellExtension(bool on, const char* classId, const char* libraryName, bool is64,
                            const char* handlerName);

// True for a 32-bit process on 64-bit Windows. A definite answer is kept
// for the process; a system without IsWow64Process, or a failed call, gives
// false and is asked again next time.
bool RunningUnderWow64();

// The cached answer: -1 (not known yet), 0 or 1.
int Wow64CacheForTest();
void ResetWow64CacheForTest();
