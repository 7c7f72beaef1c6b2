#include "startup/entry.h"

#include "integration/setup_dialogs.h"
#include "integration/uninstall_entry.h"
#include "localization/language_file.h"
#include "localization/messages.h"
#include "platform/environment.h"
#include "platform/help.h"
#include "platform/memory_error.h"
#include "platform/module.h"
#include "platform/ole.h"
#include "platform/shell.h"
#include "resources/resource.h"
#include "startup/command_line.h"
#include "startup/run_state.h"
#include "uninstall/leftover_warning.h"
#include "uninstall/uninstall_run.h"

namespace {

constexpr DWORD kWaitPauseMs = 2000;

class ImmediateActions final : public SwitchActions {
 public:
  void Wait() override { Sleep(kWaitPauseMs); }
  void Warning() override { ShowLeftoverWarning(); }
};

HFONT CreateBoldFont() {
  // The face name "宋体" in the ANSI code page it is meant for (936): this
  // source file is UTF-8.
  return CreateFontA(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, 0, 0, 0, 0,
                     "\xCB\xCE\xCC\xE5");
}

// SETUPDLG from the language library; the program's own when the library's
// cannot be made or lacks a check box, as for a library without one.
INT_PTR ShowSetupDialog(LPARAM parameter) {
  HINSTANCE module = DialogModule("SETUPDLG");
  INT_PTR result = DialogBoxParamA(module, "SETUPDLG", nullptr, SetupDialogProc, parameter);
  if (result == kSetupUnusable && module != ProgramModule()) {
    result = DialogBoxParamA(ProgramModule(), "SETUPDLG", nullptr, SetupDialogProc, parameter);
  }
  return result;
}

void RunSetup() {
  LPARAM parameter = reinterpret_cast<LPARAM>(&runState);
  // Only OK counts. When no SETUPDLG can be made at all (no rich edit
  // control, say), nothing is stored or applied, but the archiver's files
  // are installed all the same: the entry keeps them removable.
  INT_PTR result = ShowSetupDialog(parameter);
  if (result == kSetupUnusable) RegisterUninstallEntry();
  if (result != kSetupConfirmed) return;
  DialogBoxParamA(DialogModule("DONEDLG"), "DONEDLG", nullptr, DoneDialogProc, parameter);
  if (runState.launchPath[0] != '\0' && !runState.silent) {
    OpenWithShell(runState.launchPath);
  }
}

}  // namespace

void ShowLeftoverWarning() {
  char programPath[kPathSize];
  GetProgramPath(programPath, kPathSize);  // empty when it does not fit
  ShowLeftoverWarning(programPath);
}

namespace {

// The run's one fatal error: the language file's index could not grow. It
// arises before any other resource of the run is taken.
void ShowMemoryError(int code) {
  char text[kMessageSize];
  FormatText(text, sizeof text, "Not enough memory (error %d).", code);
  MessageBoxA(nullptr, text, MessageText(IDS_UNINSTALL_CAPTION), MB_ICONERROR | MB_SETFOREGROUND);
}

Interaction UninstallInteraction(const CommandLineScan& scan) {
  if (scan.quiet) return Interaction::Quiet;
  return scan.silent ? Interaction::Silent : Interaction::Ask;
}

int RunSteps(HINSTANCE instance, const char* commandText) {
  // Known before the language file is read: a quiet run shows not even this.
  if (!CommandLineIsQuiet(commandText)) SetMemoryErrorReport(ShowMemoryError);
  extResource.Load(instance);
  languageResources.Load("uninstall.lng", ResourceModule());
  HMODULE richEdit = StartOleAndRichEdit();
  runState.icon = LoadIconA(ResourceModule(), "ORVICON");
  if (!runState.icon) runState.icon = LoadIconA(ProgramModule(), "ORVICON");
  runState.boldFont = CreateBoldFont();

  char sfxcmd[kPathSize];
  // One longer than the buffer counts as absent. Only its switches matter, so
  // a character the code page lacks may stand as '?'.
  ReadEnvironmentVariable("sfxcmd", sfxcmd, Unconvertible::Replace);
  ImmediateActions actions;
  CommandLineScan scan = ScanCommandLine(commandText, sfxcmd, actions);
  runState.silent = scan.silent;

  switch (scan.mode) {
    case RunMode::Setup:
      RunSetup();
      break;
    case RunMode::Uninstall:
      RunUninstall(UninstallInteraction(scan));
      break;
    case RunMode::Nothing:
      break;
  }

  CloseHelp();  // the help viewer needs OLE
  EndOleAndRichEdit(richEdit);
  DeleteObject(runState.boldFont);
  return 0;
}

}  // namespace

int RunProgram(HINSTANCE instance, const char* commandText) {
  return RunSteps(instance, commandText);
}
