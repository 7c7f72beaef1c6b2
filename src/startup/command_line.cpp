#include "startup/command_line.h"

#include <cstring>

#include "platform/paths.h"
#include "platform/text.h"

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

bool IsSilentSwitch(const char* word) { return Upper(word[0]) == 'S' && !IsLetter(word[1]); }

// A word that had no meaning of its own (it counted, as any other switch),
// so that the callers of the other switches go on as they did.
bool IsQuietSwitch(const char* word) { return StartsWith(word, "QUIET"); }

// The system may start the program through its unquoted path, as entries
// in the list of installed programs were written before they were quoted:
// its part after a blank ("Files\Korvik-7\uninstall.exe") would count as
// switches. Where the command begins with the program's own full path and a
// blank or the end follows, that whole path is the name. Null otherwise.
const char* AfterUnquotedProgramPath(const char* command, const char* programPath) {
  if (programPath == nullptr || programPath[0] == '\0') return nullptr;
  std::size_t length = std::strlen(programPath);
  if (length >= kPathSize || std::strlen(command) < length) return nullptr;
  const char* end = command + length;
  if (*end != '\0' && !IsBlank(*end)) return nullptr;
  char name[kPathSize];
  std::memcpy(name, command, length);
  name[length] = '\0';
  return CompareNames(name, programPath) == 0 ? end : nullptr;
}

}  // namespace

const char* CommandLineText(const char* full, const char* programPath) {
  const char* p = full;
  while (IsBlank(*p)) ++p;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') p = NextChar(p);
    if (*p == '"') ++p;
  } else if (const char* after = AfterUnquotedProgramPath(p, programPath)) {
    p = after;
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

bool CommandLineIsQuiet(const char* commandText) {
  for (const char* p = commandText; *p != '\0'; p = NextChar(p)) {
    if (IsSwitchMark(*p) && IsQuietSwitch(p + 1)) return true;
  }
  return false;
}

CommandLineScan ScanCommandLine(const char* commandText, const char* sfxcmd,
                                SwitchActions& actions) {
  CommandLineScan scan;
  scan.quiet = CommandLineIsQuiet(commandText);
  if (scan.quiet || (sfxcmd && SfxcmdIsSilent(sfxcmd))) scan.silent = true;

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
      if (!scan.quiet) actions.Warning();
    } else if (IsQuietSwitch(word)) {
      continue;  // nor does the quiet one
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
