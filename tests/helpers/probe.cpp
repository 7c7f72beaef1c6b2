// probe.exe OPERATION: runs one operation of the program's code and prints
// its result; the exit code is the result where it is a number.
#include <cstdio>
#include <cstring>

#include "platform/os_version.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ntversion") == 0) {
    int version = NtMajorVersion();
    std::printf("%d\n", version);
    return version;
  }
  std::fprintf(stderr, "usage: probe ntversion\n");
  return 255;
}
