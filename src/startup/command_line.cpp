#include "startup/command_line.h"

#include "platform/paths.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsSwitchMark(char c) { return c == '/' || c == '-'; }

// Case-blind prefix test; word is upper case.
bool StartsWith(const char* text, const char* word) {
  for (; *word != '\0'; ++text, ++word) {
    if (Upper(*text) != *word) return false;
  }
  return true;
}

bool IsSilentSwitch(const char* word) {
  return Upper(word[0]) == 'S' && !IsLetter(word[1]);
}

}  // namespace

const char* CommandLineText(const char* full) {
  const char* p = full;
  while (IsBlank(*p)) ++p;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') p = NextChar(p);
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !IsBlank(*p)) p = NextChar(p);
  }
  while (IsBlank(*p)) ++p;
  return p;
}

bool SfxcmdIsSilent(const char* sfxcmd) {
  for (const char* p = sfxcmd; *p != '\0'; p = NextChar(p)) {
    if (IsSwitchMark(*p) && IsSilentSwitch(p + 1)) return true;
  }
  return false;
}

CommandLineScan ScanCommandLine(const char* commandText, const char* sfxcmd,
                                SwitchActions& actions) {
  CommandLineScan scan;
  if (sfxcmd && SfxcmdIsSilent(sfxcmd)) scan.silent = true;

  for (const char* p = commandText; *p != '\0'; p = NextChar(p)) {
    if (!IsSwitchMark(*p)) continue;
    // The next search starts at the word itself, so a mark inside a word
    // opens a further switch.
    const char* word = p + 1;
    if (StartsWith(word, "SETUP")) {
      scan.setup = true;
    } else if (IsSilentSwitch(word)) {
      scan.silent = true;
      continue;  // the silent switch does not count
    } else if (StartsWith(word, "WAIT")) {
      ++scan.waits;
      actions.Wait();
    } else if (StartsWith(word, "WARNING")) {
      ++scan.warnings;
      actions.Warning();
    }
    ++scan.countedSwitches;
  }

  if (scan.setup) {
    scan.mode = RunMode::Setup;
  } else if (scan.countedSwitches == 0) {
    scan.mode = RunMode::Uninstall;
  } else {
    scan.mode = RunMode::Nothing;
  }
  return scan;
}
