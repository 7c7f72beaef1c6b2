// The archiver's entry among the shell's application paths, by which the
// shell starts "Korvik.exe" from its bare file name.
#pragma once

// Under HKEY_LOCAL_MACHINE. Setup writes it; the uninstall clean-up deletes
// it (the key alone: it has no subkeys).
inline constexpr char kAppPathKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvik.exe";

// Writes the full path of "Korvik.exe" beside this program as the key's
// default value, then its folder as "Path" (a drive root keeps its
// backslash). The first write doubles as the test of the rights to
// integrate: when it is refused with ERROR_ACCESS_DENIED the result is
// false and nothing has been written. Any other failure gives true.
bool RegisterAppPath();
