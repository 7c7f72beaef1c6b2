// The archiver's entry in the system's list of installed programs, with this
// program as its uninstaller.
#pragma once

// Under HKEY_LOCAL_MACHINE, in the process's own registry view. Setup
// writes it; the uninstall clean-up deletes it (the key alone).
inline constexpr char kUninstallEntryKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvik archiver";

// Writes, creating the key where missing: "DisplayName" (message 5101),
// "UninstallString" (this program's path in double quotes, without
// arguments, as the system starts it for the uninstall run), "DisplayIcon"
// ("Korvik.exe" beside this program), "NoModify" and "NoRepair" (1); then
// for deployment tools "QuietUninstallString" (the same with " /quiet"),
// "InstallLocation" (this program's folder), "Publisher", "DisplayVersion"
// (the product version of "Korvik.exe" beside this program, else this
// program's own) and, when "Uninstall.lst" is there, "EstimatedSize" (the
// listed files in KiB, as a number). A second run rewrites the same values.
// Failed writes are not reported.
void RegisterUninstallEntry();
