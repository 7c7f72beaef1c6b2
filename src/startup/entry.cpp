#include "startup/entry.h"

#include "integration/setup_dialogs.h"
#include "localization/language_file.h"
#include "localization/messages.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/help.h"
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

void RunSetup() {
  SetupDialogRun run;
  run.silent = runState.silent;
  run.icon = runState.dialogIcon;
  run.boldFont = runState.boldFont;
  run.launchPath = runState.launchPath;
  LPARAM parameter = reinterpret_cast<LPARAM>(&run);
  // Only OK counts: -1 means SETUPDLG could not be made (no rich edit
  // control, say), and then nothing was stored or applied.
  if (DialogBoxParamA(DialogModule("SETUPDLG"), "SETUPDLG", nullptr, SetupDialogProc, parameter) !=
      kSetupConfirmed) {
    return;
  }
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
  runState.dialogIcon = LoadIconA(ResourceModule(), "ORVICON");
  if (!runState.dialogIcon) runState.dialogIcon = LoadIconA(ProgramModule(), "ORVICON");
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
