// Linked only into the test variant of the program ("uninstall_faulty"):
// at static start it reads KORVIK_TEST_DENY_WRITES, a list of roots ("HKLM",
// "HKCR", "HKCU", separated by anything), and makes every registry write
// under them answer status 5 (access denied), which Wine never gives; with
// "RESTART" in the list, deletions at the next restart cannot be recorded;
// with "WIDEENV", the wide environment call fails with 120 as the 9x
// family's stub does; with "NOBESTFIT", conversions that pass
// WC_NO_BEST_FIT_CHARS are refused as systems before Windows 2000 refuse them.
#include <windows.h>

#include <cstring>

#include "platform/code_page.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/registry.h"

namespace {

constexpr DWORD kValueSize = 64;

struct DenyWrites {
  DenyWrites() {
    char roots[kValueSize] = {};
    DWORD length = GetEnvironmentVariableA("KORVIK_TEST_DENY_WRITES", roots, kValueSize);
    if (length == 0 || length >= kValueSize) return;
    if (std::strstr(roots, "HKLM"))
      SetRegWriteFaultForTest(HKEY_LOCAL_MACHINE, ERROR_ACCESS_DENIED);
    if (std::strstr(roots, "HKCR")) SetRegWriteFaultForTest(HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED);
    if (std::strstr(roots, "HKCU")) SetRegWriteFaultForTest(HKEY_CURRENT_USER, ERROR_ACCESS_DENIED);
    if (std::strstr(roots, "RESTART")) SetRestartDeletionFaultForTest(true);
    if (std::strstr(roots, "WIDEENV")) SetWideEnvironmentFaultForTest(true);
    if (std::strstr(roots, "NOBESTFIT")) SetNoBestFitRejectedForTest(true);
  }
};

DenyWrites denyWrites;

}  // namespace
