// Starting another program.
#pragma once

#include <cstddef>

// Starts the command line with no window, inheriting handles, the
// environment and the current folder, and does not wait for it. The NT
// family shows it hidden; the 9x family runs it detached from any console
// with its standard input, output and error on "NUL". False when it did not
// start; the caller is given no handle.
bool StartInBackground(const char* commandLine);

// The system's own command interpreter: "cmd.exe" in the system folder on
// the NT family, "COMMAND.COM" in the Windows folder on the 9x family.
// False, with path emptied, when the folder is unknown or the path does not
// fit in capacity bytes.
bool GetSystemInterpreter(char* path, std::size_t capacity);
