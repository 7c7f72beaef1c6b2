// The switch grammar of the command line and of the installer's "sfxcmd",
// and the decision between the program's modes.
#pragma once

// The command line less the program's own name: leading blanks and tabs,
// the name (through its closing quote when quoted, else to the first blank
// or tab), then the blanks and tabs after it. An unquoted name that is the
// program's own full path (programPath, may be null), blanks and all,
// without regard to case, is skipped whole.
const char* CommandLineText(const char* fullCommandLine, const char* programPath);

// True when "sfxcmd" holds a '-' or '/' followed by 's' and a non-letter.
bool SfxcmdIsSilent(const char* sfxcmd);

// True when the command line text holds the quiet switch ("quiet" after a
// '/' or '-'), wherever it stands.
bool CommandLineIsQuiet(const char* commandText);

// What the scan does at once, in the order the switches stand.
class SwitchActions {
 public:
  virtual void Wait() = 0;     // "wait": the two-second pause
  virtual void Warning() = 0;  // "warning": the leftover message
 protected:
  ~SwitchActions() = default;
};

enum class RunMode { Setup, Uninstall, Nothing };

struct CommandLineScan {
  bool setup = false;
  bool silent = false;
  bool quiet = false;       // silent, and no window at all: every box takes its default
  int countedSwitches = 0;  // every switch but the silent and the quiet one
  int waits = 0;
  int warnings = 0;
  RunMode mode = RunMode::Uninstall;
};

// Scans "sfxcmd" (may be null) and the command line text, runs the
// immediate actions and decides the mode. A quiet command line shows no
// warning, also where "warning" stands before "quiet".
CommandLineScan ScanCommandLine(const char* commandText, const char* sfxcmd,
                                SwitchActions& actions);
