#include "integration/uninstall_entry.h"

#include <cstddef>
#include <cstdint>

#include "installation/installation.h"
#include "integration/archiver.h"
#include "localization/messages.h"
#include "platform/file_info.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "resources/version.h"

namespace {

constexpr char kPublisher[] = "Korvik";
// The quoted path, a blank and the quiet switch.
constexpr std::size_t kCommandSize = kPathSize + 2 + sizeof kQuietSwitch;
constexpr std::size_t kVersionSize = 32;  // "65535.65535.65535.65535"
constexpr std::uint64_t kBytesPerKiB = 1024;

// The total size of the files the list names, in KiB rounded up. What the
// uninstall would not delete (entries reaching outside the folder, folders,
// links) does not count. False when there is no list to go by.
bool ListedFilesKiB(const char* programFolder, DWORD& kib) {
  char listPath[kPathSize];
  ByteStream list;
  if (!OpenListFile(programFolder, list, listPath, sizeof listPath)) return false;
  std::uint64_t total = 0;
  char line[kListLineSize];
  for (ListLine kind; (kind = ReadListLine(list, line, sizeof line)) != ListLine::End;) {
    char path[kPathSize];
    std::uint64_t bytes = 0;
    if (kind == ListLine::Entry && EntryStaysInFolder(line) && CopyText(path, programFolder) &&
        AppendText(path, line) && GetPlainFileSize(path, bytes)) {
      total += bytes;
    }
  }
  std::uint64_t rounded = (total + kBytesPerKiB - 1) / kBytesPerKiB;
  kib = rounded > MAXDWORD ? MAXDWORD : static_cast<DWORD>(rounded);
  return true;
}

// The archiver's version when its file says, else this program's own.
void GetDisplayVersion(char* version, std::size_t capacity) {
  char archiver[kPathSize];
  if (PathBesideProgram(kArchiverFileName, archiver, sizeof archiver) &&
      GetProductVersion(archiver, version, capacity)) {
    return;
  }
  CopyText(version, capacity, KORVIK_VERSION_TEXT);
}

void SetEntryString(const char* name, const char* text) {
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, name, text);
}

}  // namespace

void RegisterUninstallEntry() {
  char program[kPathSize];
  // An entry whose uninstall command names another file would be worse
  // than none.
  if (!GetProgramPath(program, sizeof program)) return;
  // Quoted: unquoted, the system tries "C:\Program.exe" first for a path
  // under "C:\Program Files".
  char command[kCommandSize];
  FormatText(command, sizeof command, "\"%s\"", program);
  char icon[kPathSize];
  bool iconFits = PathBesideProgram(kArchiverFileName, icon, sizeof icon);

  SetEntryString("DisplayName", MessageText(IDS_PRODUCT_NAME));
  SetEntryString("UninstallString", command);
  if (iconFits) SetEntryString("DisplayIcon", icon);
  SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoModify", 1);
  SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "NoRepair", 1);

  // What deployment tools read. They run it where nobody can answer a
  // message: the silent switch alone would still show some.
  AppendText(command, " ");
  AppendText(command, kQuietSwitch);
  SetEntryString("QuietUninstallString", command);
  char folder[kPathSize];
  GetProgramFolder(folder, sizeof folder);
  SetEntryString("InstallLocation", folder);
  SetEntryString("Publisher", kPublisher);
  char version[kVersionSize];
  GetDisplayVersion(version, sizeof version);
  SetEntryString("DisplayVersion", version);
  char folderPrefix[kPathSize];
  CopyText(folderPrefix, folder);  // no longer than the program path: room for a backslash
  AppendBackslash(folderPrefix);
  // Without a list no size is known; one from an earlier setup would be stale.
  DWORD kib = 0;
  if (ListedFilesKiB(folderPrefix, kib)) {
    SetRegNumber(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "EstimatedSize", kib);
  } else {
    DelRegValue(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "EstimatedSize");
  }
}
