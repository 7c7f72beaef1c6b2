// The uninstall run: confirmation, integration clean-up, deletion passes
// over "Uninstall.lst" and the self-removal batch file.
#pragma once

// Removes the archiver from the machine. Asks first unless silent; reports
// only a missing list file, a needed restart, and a program file that no
// batch file can name (the leftover warning).
void RunUninstall(bool silent);

// Cuts the program's path to its folder at the last backslash; a drive root
// keeps its backslash ("C:\"). False, with the path untouched, when there is
// no backslash.
bool CutToProgramFolder(char* path);
