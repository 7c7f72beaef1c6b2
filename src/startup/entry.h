// The program's run: start-up, the mode decision and the end of the run.
#pragma once

#include <windows.h>

// Runs the program for the given command line text (the command line less
// the program's own name). Always returns 0, the process exit code.
int RunProgram(HINSTANCE instance, const char* commandText);

// The message that the self-removal batch file asks for when the program
// file could not be deleted.
void ShowLeftoverWarning();
