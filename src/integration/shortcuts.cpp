#include "integration/shortcuts.h"

#include <windows.h>

#include <shlobj.h>

#include <cstring>

#include "integration/archiver.h"
#include "localization/messages.h"
#include "platform/file_system.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/shell_link.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

constexpr char kLinkFileName[] = "Korvik.lnk";  // desktop and start menu
constexpr char kGroupName[] = "Korvik";
constexpr char kLinkExtension[] = ".lnk";

// The program group's links, in order. A link named by a string id takes
// its message text, so that a translation renames the link file (but never
// moves it out of the group).
struct GroupLink {
  const char* name;  // a fixed name, or null for nameId
  UINT nameId;
  const char* target;  // a file in the program's folder; empty: no link
};

constexpr GroupLink kGroupLinks[] = {
    {"Korvik", 0, kArchiverFileName},
    {nullptr, IDS_HELP_SHORTCUT, "Korvik.chm"},
    {nullptr, IDS_CONSOLE_MANUAL, "Orv.txt"},
};

enum Family { kVersion6Up, kVersion1To5, kNonNt, kFamilyCount };
enum Place { kDesktopLink, kStartMenuLink, kFirstGroup, kSecondGroup, kPlaceCount };

constexpr int kNoFolder = -1;

// The special folder of each place by family: major version 6 or above,
// 1 to 5, 0 (non-NT).
constexpr int kSpecialFolders[kPlaceCount][kFamilyCount] = {
    {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY},
    {CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU, CSIDL_STARTMENU},
    {CSIDL_PROGRAMS, CSIDL_PROGRAMS, CSIDL_PROGRAMS},
    {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_PROGRAMS, kNoFolder},
};

// From version 6 on the desktop link lives on the common desktop; one left
// on the user's desktop by an older setup always goes.
constexpr int kOldDesktopFolder = CSIDL_DESKTOPDIRECTORY;

Family CurrentFamily() {
  int major = NtMajorVersion();
  if (major >= 6) return kVersion6Up;
  return major >= 1 ? kVersion1To5 : kNonNt;
}

// The path of name in a special folder. False when the shell does not find
// the folder: with no folder the name alone would be taken relative to the
// current folder, and whatever of that name lies there created or deleted.
bool PathInSpecialFolder(int csidl, const char* name, const char* extension, char* out) {
  out[0] = '\0';
  if (csidl == kNoFolder) return false;
  char folder[kPathSize];
  return GetSpecialFolderPath(csidl, folder, sizeof folder) &&
         JoinPath(out, kPathSize, folder, name, extension);
}

// Creates or deletes "Korvik.lnk" in one special folder.
void UpdateLink(int csidl, bool on, const char* target) {
  char link[kPathSize];
  if (!PathInSpecialFolder(csidl, kLinkFileName, "", link)) return;
  if (!on) {
    DeleteOneFile(link);
  } else if (target[0] != '\0') {
    CreateShellLink(target, MessageText(IDS_SHORTCUT_COMMENT), link);
  }
}

void CreateGroupLinks(const char* group) {
  for (const GroupLink& row : kGroupLinks) {
    if (row.target[0] == '\0') continue;
    char target[kPathSize];
    char link[kPathSize];
    const char* name = row.name != nullptr ? row.name : MessageTextForFileName(row.nameId);
    if (!PathBesideProgram(row.target, target, sizeof target) ||
        !JoinPath(link, kPathSize, group, name, kLinkExtension)) {
      continue;
    }
    CreateShellLink(target, MessageText(IDS_SHORTCUT_COMMENT), link);
  }
}

}  // namespace

void UpdateShortcuts(const IntegrationSettings& settings, char* launchPath) {
  const Family family = CurrentFamily();
  char target[kPathSize];
  if (!PathBesideProgram(kArchiverFileName, target, sizeof target)) target[0] = '\0';

  if (family == kVersion6Up) {
    char oldLink[kPathSize];
    if (PathInSpecialFolder(kOldDesktopFolder, kLinkFileName, "", oldLink)) {
      DeleteOneFile(oldLink);
    }
  }
  UpdateLink(kSpecialFolders[kDesktopLink][family], settings.Desktop != 0, target);
  UpdateLink(kSpecialFolders[kStartMenuLink][family], settings.StartMenu != 0, target);

  char group[kPathSize];
  if (PathInSpecialFolder(kSpecialFolders[kFirstGroup][family], kGroupName, "", group)) {
    if (settings.Programs != 0) {
      // The user's group is what the launch step opens unless the common
      // group below takes its place, whether or not the folder was made.
      if (launchPath != nullptr) CopyText(launchPath, kPathSize, group);
      CreateFolder(group);
      CreateGroupLinks(group);
    } else {
      RemoveFolderTree(group);
    }
  }

  if (PathInSpecialFolder(kSpecialFolders[kSecondGroup][family], kGroupName, "", group)) {
    if (settings.Programs != 0) {
      CreateFolder(group);
      if (launchPath != nullptr && PathExists(group)) CopyText(launchPath, kPathSize, group);
      CreateGroupLinks(group);
    } else {
      RemoveFolderTree(group);
    }
  }
}
