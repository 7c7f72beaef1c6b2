// probe.exe OPERATION: runs one operation of the program's code and prints
// its result; the exit code is the result where it is a number.
//
//   probe ntversion       NtMajorVersion
//   probe deltree SPEC    DelRegTree under HKEY_CURRENT_USER; the number of
//                         passes it ran (0: one call removed the tree)
//   probe deleteatrestart PATH...
//                         DeleteAtRestart for each path
//   probe background COMMAND
//                         StartInBackground; 1 when it started, else 0
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/file_system.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/registry.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ntversion") == 0) {
    int version = NtMajorVersion();
    std::printf("%d\n", version);
    return version;
  }
  if (argc >= 3 && std::strcmp(argv[1], "deltree") == 0) {
    DelRegTree(HKEY_CURRENT_USER, argv[2]);
    int passes = LastDelRegTreePassesForTest();
    std::printf("%d\n", passes);
    return passes;
  }
  if (argc >= 3 && std::strcmp(argv[1], "deleteatrestart") == 0) {
    for (int i = 2; i < argc; ++i) DeleteAtRestart(argv[i]);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "background") == 0) {
    bool started = StartInBackground(argv[2]);
    std::printf("%d\n", started ? 1 : 0);
    return started ? 1 : 0;
  }
  std::fprintf(stderr, "usage: probe ntversion | probe deltree SPEC\n");
  std::fprintf(stderr, "       probe deleteatrestart PATH... | probe background COMMAND\n");
  return 255;
}
