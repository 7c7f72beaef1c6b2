#include "uninstall/uninstall_run.h"

#include <windows.h>

#include <cstring>

#include "installation/installation.h"
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
  return IsTemporaryName(name);
}

}  // namespace

void RunUninstall(Interaction interaction) {
  // Each message is for information only: not showing it is its answer.
  const bool quiet = interaction == Interaction::Quiet;
  char programPath[kPathSize];
  if (!GetProgramPath(programPath, kPathSize)) return;
  // The folder as the batch file names it, and with a backslash for joining.
  char programFolder[kPathSize];
  if (!GetProgramFolder(programFolder, kPathSize)) return;
  SetCurrentFolder(programFolder);
  char folderPrefix[kPathSize];
  CopyText(folderPrefix, programFolder);  // shorter than the program path: room for one more
  AppendBackslash(folderPrefix);

  if (interaction == Interaction::Ask && !ConfirmUninstall()) return;

  // The list file is found by its full path, not through the current folder.
  char listPath[kPathSize];
  ByteStream list;
  if (!OpenListFile(folderPrefix, list, listPath, kPathSize)) {
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
