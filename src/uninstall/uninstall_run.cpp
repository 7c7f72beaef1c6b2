#include "uninstall/uninstall_run.h"

#include <windows.h>

#include <cstring>

#include "localization/messages.h"
#include "platform/file_system.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "uninstall/deletion_passes.h"
#include "uninstall/integration_cleanup.h"
#include "uninstall/leftover_warning.h"
#include "uninstall/self_removal.h"

namespace {

// Index files that a help viewer may have left beside the help file.
constexpr const char* kHelpIndexFiles[] = {"korvik.gid", "korvik.fts"};

bool ConfirmUninstall() {
  return MessageBoxA(nullptr, MessageText(IDS_CONFIRM_UNINSTALL),
                     MessageText(IDS_UNINSTALL_CAPTION),
                     MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) == IDYES;
}

void ShowListFileError() {
  char text[kMessageSize];
  FormatText(text, sizeof text, MessageFormatForPath(IDS_NO_LIST_FILE), kListFileName);
  MessageBoxA(nullptr, text, MessageText(IDS_UNINSTALL_CAPTION), MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowRestartNotice() {
  MessageBoxA(nullptr, MessageText(IDS_RESTART_NEEDED), MessageText(IDS_UNINSTALL_CAPTION),
              MB_ICONINFORMATION | MB_SETFOREGROUND);
}

void DeleteHelpIndexFiles(const char* programFolder) {
  for (const char* name : kHelpIndexFiles) {
    char path[kPathSize];
    if (JoinPath(path, kPathSize, programFolder, name)) DeleteFileAsItIs(path);
  }
}

// What a run leaves when it ends between the deletion of the list file and
// the batch file's work: the program, and files in use it moved aside.
bool IsLeftOfAnEndedRun(const char* name, bool isFolder, const char* programName) {
  if (isFolder) return false;
  if (CompareNames(name, programName) == 0) return true;
  // "<name>.<digits>.tmp"
  std::size_t length = std::strlen(name);
  if (length < 7 || CompareNames(name + length - 4, ".tmp") != 0) return false;
  std::size_t digits = length - 4;
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  return digits < length - 4 && digits > 1 && name[digits - 1] == '.';
}

}  // namespace

bool CutToProgramFolder(char* path) {
  // Character by character: in a double-byte code page a trail byte may
  // have the value of a backslash.
  char* last = nullptr;
  for (char* p = path; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') last = p;
  }
  if (last == nullptr) return false;
  if (last > path && IsDriveColon(last[-1])) {
    last[1] = '\0';
  } else {
    last[0] = '\0';
  }
  return true;
}

void RunUninstall(Interaction interaction) {
  // Each message is for information only: not showing it is its answer.
  const bool quiet = interaction == Interaction::Quiet;
  char programPath[kPathSize];
  if (!GetProgramPath(programPath, kPathSize)) return;
  // The folder as the batch file names it, and with a backslash for joining.
  char programFolder[kPathSize];
  CopyText(programFolder, programPath);
  if (!CutToProgramFolder(programFolder)) return;
  SetCurrentFolder(programFolder);
  char folderPrefix[kPathSize];
  CopyText(folderPrefix, programFolder);  // shorter than the program path: room for one more
  AppendBackslash(folderPrefix);

  if (interaction == Interaction::Ask && !ConfirmUninstall()) return;

  // The list file is found by its full path, not through the current folder.
  char listPath[kPathSize];
  ByteStream list;
  if (!JoinPath(listPath, kPathSize, folderPrefix, kListFileName) || !list.OpenRead(listPath)) {
    // A run that ended before its batch file could work is finished now.
    if (EveryNameInFolder(programFolder, FileNamePart(programPath), IsLeftOfAnEndedRun)) {
      StartSelfRemoval(programPath, programFolder, quiet);
    } else if (!quiet) {
      ShowListFileError();
    }
    return;
  }

  CleanUpIntegration();
  extResource.Unload();  // so that the language library can be deleted
  DeleteHelpIndexFiles(folderPrefix);
  DeletionOutcome outcome = RunDeletionPasses(list, folderPrefix, programPath);
  list.Close();
  DeleteOneFile(listPath);

  if (outcome.restartNeeded && !quiet) ShowRestartNotice();
  if (outcome.leftovers[0] != '\0' && !quiet) ShowLeftoverWarning(outcome.leftovers);
  // A batch file that cannot name the program would leave it without a word.
  if (StartSelfRemoval(programPath, programFolder, quiet) == SelfRemovalStart::PathNotWritable &&
      !quiet) {
    ShowLeftoverWarning(programPath);
  }
}
