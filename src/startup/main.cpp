#include <windows.h>

#include "platform/module.h"
#include "platform/text.h"
#include "startup/command_line.h"
#include "startup/entry.h"

// The switches are read from the process command line by the program's own
// rule for skipping its name, not by the C runtime's.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char programPath[kPathSize];
  GetProgramPath(programPath, kPathSize);  // emptied when there is none
  return RunProgram(instance, CommandLineText(GetCommandLineA(), programPath));
}
