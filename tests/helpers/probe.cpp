// probe.exe OPERATION: runs one operation of the program's code and prints
// its result; the exit code is the result where it is a number.
//
//   probe ntversion       NtMajorVersion
//   probe deltree SPEC    DelRegTree under HKEY_CURRENT_USER; exit code 1
//                         when its passes walked the tree, 0 when they
//                         never began (one call removed the tree)
//   probe deleteatrestart PATH...
//                         DeleteAtRestart for each path
//   probe background COMMAND
//                         StartInBackground; 1 when it started, else 0
//   probe gate EVENT FILE waits for the named event, then writes FILE; gives
//                         up, writing nothing, after a minute
//   probe associate TYPES SHELL [nowide]
//                         SetAssociations with TypeFlags from TYPES, one
//                         "0" or "1" per archive type in table order, and
//                         ShellExt from SHELL ("0" or "1"); with "nowide",
//                         the registry's "W" calls fail with 120, as the 9x
//                         family's stubs do
//   probe apppath         RegisterAppPath; exit code 1 for true, 0 for false
//   probe uninstallentry  RegisterUninstallEntry
//   probe shellext on|off RegisterShellExtensions with ShellExt 1 or 0;
//                         prints RunningUnderWow64 and its cache
//   probe shortcuts FLAGS [FILE]
//                         UpdateShortcuts with Desktop, StartMenu and Programs
//                         from FLAGS, "0" or "1" each in that order; with
//                         FILE, a launch path buffer is passed and its text
//                         written to FILE
//   probe regquery        for each input line "ROOT\KEY|NAME" (ROOT is HKCR
//                         or HKLM; an empty NAME is the default value) prints
//                         the value's text, "<no key>" or "<no value>", read
//                         with the plain registry functions, not the layer's
//   probe integrate FLAGS what a confirmed setup does, for tests that need
//                         its writes while the setup dialogs cannot run: the
//                         settings from FLAGS (20 characters "0" or "1": the
//                         14 archive types in table order, then Desktop,
//                         StartMenu, Programs, ShellExt, CascadedMenu,
//                         MenuIcons) and the context menu items stored under
//                         the product key, RegisterAppPath,
//                         RegisterShellExtensions, SetAssociations,
//                         RegisterProgramIds, UpdateShortcuts with a launch
//                         path buffer, RegisterUninstallEntry; prints the
//                         launch path; exit code 0, or 1 when the apply step
//                         stopped early (the uninstall entry is still made)
//   probe reset           deletes everything the product may have made, as
//                         the tests' shared footprint table lists it
#include <windows.h>

#include <ole2.h>

#include <cstdio>
#include <cstring>

#include "integration/app_path.h"
#include "integration/associations.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "integration/uninstall_entry.h"
#include "localization/messages.h"
#include "platform/file_system.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

constexpr int kQueryLineSize = 1024;
constexpr DWORD kQueryValueSize = 1024;

// One line of "probe regquery": "ROOT\KEY|NAME".
void PrintRegistryValue(char* line) {
  line[std::strcspn(line, "\r\n")] = '\0';
  char* name = std::strchr(line, '|');
  char* key = std::strchr(line, '\\');
  if (name == nullptr || key == nullptr || key > name) {
    std::printf("<bad query>\n");
    return;
  }
  *name++ = '\0';
  *key++ = '\0';
  HKEY root = std::strcmp(line, "HKCR") == 0   ? HKEY_CLASSES_ROOT
              : std::strcmp(line, "HKLM") == 0 ? HKEY_LOCAL_MACHINE
                                               : nullptr;
  HKEY opened;
  if (root == nullptr || RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
    std::printf("<no key>\n");
    return;
  }
  char data[kQueryValueSize + 1] = {};
  DWORD size = kQueryValueSize;
  DWORD type = REG_NONE;
  LONG status =
      RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(opened);
  if (status != ERROR_SUCCESS) {
    std::printf("<no value>\n");
  } else if (type != REG_SZ) {
    std::printf("<type %lu>\n", static_cast<unsigned long>(type));
  } else {
    std::printf("%s\n", data);
  }
}

// "probe integrate": the settings record from its flags.
constexpr std::size_t kIntegrateFlagCount = kArchiveTypeCount + 6;

bool SettingsFromFlags(const char* flags, IntegrationSettings& settings) {
  if (std::strlen(flags) != kIntegrateFlagCount) return false;
  auto flag = [flags](std::size_t i) -> unsigned char { return flags[i] == '1' ? 1 : 0; };
  settings = IntegrationSettings{};
  for (std::size_t type = 0; type < kArchiveTypeCount; ++type) {
    settings.TypeFlags[type] = flag(type);
  }
  settings.Desktop = flag(kArchiveTypeCount);
  settings.StartMenu = flag(kArchiveTypeCount + 1);
  settings.Programs = flag(kArchiveTypeCount + 2);
  settings.ShellExt = flag(kArchiveTypeCount + 3);
  settings.CascadedMenu = flag(kArchiveTypeCount + 4);
  settings.MenuIcons = flag(kArchiveTypeCount + 5);
  return true;
}

// The context menu items dialog's values with their defaults, as its OK
// stores them when nothing was changed.
struct MenuItem {
  const char* name;
  DWORD on;
};
constexpr MenuItem kMenuItems[] = {
    {"ExtrTo", 1}, {"ExtrHere", 1}, {"Extr", 1},     {"ExtrSep", 1}, {"OpenSFX", 1}, {"AddTo", 1},
    {"AddArc", 1}, {"EmailArc", 1}, {"EmailOpt", 1}, {"Test", 0},    {"Convert", 0},
};

// What the settings dialog stores on OK, through the same registry layer.
void StoreSettingsAsSetup(const IntegrationSettings& settings) {
  for (std::size_t type = 0; type < kArchiveTypeCount; ++type) {
    SetRegNumber(kArchiveTypes[type].settingsKey, "Set", settings.TypeFlags[type]);
  }
  SetRegNumber("Setup\\Links", "Desktop", settings.Desktop);
  SetRegNumber("Setup\\Links", "StartMenu", settings.StartMenu);
  SetRegNumber("Setup\\Links", "Programs", settings.Programs);
  SetRegNumber("Setup", "ShellExt", settings.ShellExt);
  SetRegNumber("Setup", "CascadedMenu", settings.CascadedMenu);
  SetRegNumber("Setup", "MenuIcons", settings.MenuIcons);
  for (const MenuItem& item : kMenuItems) SetRegNumber("Setup\\MenuItems", item.name, item.on);
}

// The apply step's operations in their order; false when it stopped early.
bool ApplyAsSetup(const IntegrationSettings& settings, char* launchPath) {
  if (!RegisterAppPath()) return false;
  RegisterShellExtensions(settings);
  SetAssociations(settings);
  if (!RegisterProgramIds()) return false;
  UpdateShortcuts(settings, launchPath);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ntversion") == 0) {
    int version = NtMajorVersion();
    std::printf("%d\n", version);
    return version;
  }
  if (argc >= 3 && std::strcmp(argv[1], "deltree") == 0) {
    bool walked = false;
    SetDelRegTreeStepHookForTest([](void* context) { *static_cast<bool*>(context) = true; },
                                 &walked);
    DelRegTree(HKEY_CURRENT_USER, argv[2]);
    std::printf("%d\n", walked ? 1 : 0);
    return walked ? 1 : 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "associate") == 0) {
    IntegrationSettings settings{};
    for (std::size_t type = 0; type < kArchiveTypeCount && argv[2][type] != '\0'; ++type) {
      settings.TypeFlags[type] = argv[2][type] == '1' ? 1 : 0;
    }
    settings.ShellExt = argv[3][0] == '1' ? 1 : 0;
    SetRegWideCallsFailForTest(argc >= 5 && std::strcmp(argv[4], "nowide") == 0);
    SetAssociations(settings);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "apppath") == 0) {
    bool result = RegisterAppPath();
    std::printf("%d\n", result ? 1 : 0);
    return result ? 1 : 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "uninstallentry") == 0) {
    extResource.Load(GetModuleHandleA(nullptr));  // the built-in texts, as the entry routine
    RegisterUninstallEntry();
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "shellext") == 0) {
    IntegrationSettings settings{};
    settings.ShellExt = std::strcmp(argv[2], "on") == 0 ? 1 : 0;
    RegisterShellExtensions(settings);
    std::printf("wow64=%d cache=%d\n", RunningUnderWow64() ? 1 : 0, Wow64CacheForTest());
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "shortcuts") == 0 && std::strlen(argv[2]) == 3) {
    // As the entry routine: built-in texts from this program, COM ready.
    extResource.Load(GetModuleHandleA(nullptr));
    OleInitialize(nullptr);
    IntegrationSettings settings{};
    settings.Desktop = argv[2][0] == '1' ? 1 : 0;
    settings.StartMenu = argv[2][1] == '1' ? 1 : 0;
    settings.Programs = argv[2][2] == '1' ? 1 : 0;
    char launchPath[kPathSize] = {};
    UpdateShortcuts(settings, argc >= 4 ? launchPath : nullptr);
    OleUninitialize();
    if (argc >= 4) {
      std::FILE* file = std::fopen(argv[3], "wb");
      if (file == nullptr) return 1;
      std::fputs(launchPath, file);
      std::fclose(file);
    }
    return 0;
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
  if (argc == 4 && std::strcmp(argv[1], "gate") == 0) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    bool signalled = event != nullptr && WaitForSingleObject(event, 60000) == WAIT_OBJECT_0;
    if (event != nullptr) CloseHandle(event);
    return signalled && test::WriteWholeFile(argv[3], "passed") ? 0 : 1;
  }
  if (argc >= 3 && std::strcmp(argv[1], "integrate") == 0) {
    IntegrationSettings settings;
    if (!SettingsFromFlags(argv[2], settings)) return 255;
    // As the entry routine: built-in texts from this program, COM ready.
    extResource.Load(GetModuleHandleA(nullptr));
    OleInitialize(nullptr);
    StoreSettingsAsSetup(settings);
    char launchPath[kPathSize] = {};
    bool applied = ApplyAsSetup(settings, launchPath);
    RegisterUninstallEntry();
    OleUninitialize();
    std::printf("%s\n", launchPath);
    return applied ? 0 : 1;
  }
  if (argc >= 2 && std::strcmp(argv[1], "reset") == 0) {
    test::ResetFootprint();
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "regquery") == 0) {
    char line[kQueryLineSize];
    while (std::fgets(line, sizeof line, stdin) != nullptr) PrintRegistryValue(line);
    return 0;
  }
  std::fprintf(stderr,
               "usage: probe ntversion | probe deltree SPEC | probe associate TYPES SHELL\n");
  std::fprintf(stderr,
               "       probe apppath | probe uninstallentry | probe shellext on|off |"
               " probe regquery\n");
  std::fprintf(stderr, "       probe reset\n");
  std::fprintf(stderr, "       probe shortcuts FLAGS [FILE] | probe integrate FLAGS\n");
  std::fprintf(stderr, "       probe deleteatrestart PATH... | probe background COMMAND\n");
  std::fprintf(stderr, "       probe gate EVENT FILE\n");
  return 255;
}
