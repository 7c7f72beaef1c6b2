// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace test {

// The folder of the running test program, without a trailing backslash.
std::string ExeFolder();

// A Windows path for a path of the Linux build tree ("/a/b" -> "Z:\a\b").
std::string WindowsPath(const std::string& unixPath);

// Text given in UTF-8 in the test source, in the ANSI code page.
std::string Acp(const char* utf8);
// Text in the ANSI code page, as UTF-8 for readable failure messages.
std::string Utf8(const std::string& acp);

// Runs a command line, waits for it and gives its exit code (-1 when it
// did not start or did not end in time).
long RunAndWait(const std::string& commandLine, DWORD timeoutMs = 30000);

// Gives one program, by file name, another Windows version through Wine's
// per-program settings, for as long as the object lives.
class ScopedWindowsVersion {
 public:
  ScopedWindowsVersion(const char* exeName, const char* version);
  ~ScopedWindowsVersion();
  ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
  ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;

 private:
  std::string key_;
};

// How long a wait for something that must happen may take at most: a
// deadline that only a fault reaches, even on a busy machine.
constexpr DWORD kWaitMs = 30000;
constexpr DWORD kPollMs = 20;

// Asks condition() every kPollMs until it holds (true) or timeoutMs has
// passed (false).
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = kWaitMs) {
  for (DWORD start = GetTickCount(); !condition(); Sleep(kPollMs)) {
    if (GetTickCount() - start >= timeoutMs) return false;
  }
  return true;
}

// The byte that outputs are filled with before a call, so that an overflow
// or an output left untouched shows.
constexpr char kGarbage = '\xBD';

// List entries that name a device: bare, with an extension, a trailing dot
// or blank, in another case, or as a folder. None is a file of an
// installation.
inline constexpr const char* kDeviceEntries[] = {"NUL",      "con.txt",     "aux.",
                                                 "Aux .log", "COM1",        "lpt9.dat",
                                                 "CONIN$",   "conout$.txt", "prn\\x.txt"};

// The entries as lines of a list file, each ended by CR LF.
template <typename Entries>
std::string ListLines(const Entries& entries) {
  std::string lines;
  for (const char* entry : entries) lines += std::string(entry) + "\r\n";
  return lines;
}

// A file of a fixture folder of the build (tests/fixtures), e.g. the
// language library FixtureFile("translated", "orvlng.dll").
std::string FixtureFile(const char* folder, const char* file);

// True when a file or folder of that name exists.
bool Exists(const std::string& path);
// Waits until the path exists (present) or no longer exists (not present);
// false when that did not happen within timeoutMs.
bool WaitForPath(const std::string& path, bool present, DWORD timeoutMs);

// Removes a folder and everything in it; true when it is gone. A link in it
// goes itself, not what it points at.
bool RemoveTree(const std::string& folder);
// Makes link (a full path, no blanks) a Unix symbolic link to the folder
// target, which Wine shows as a folder that is a reparse point: Wine cannot
// make junctions. False when it is not there as such.
bool MakeFolderLink(const std::string& link, const std::string& target);
// Removes such a link itself; true when it is gone. A real folder of
// that name stays (false).
bool RemoveFolderLink(const std::string& link);
// Puts such a link to target where folder is, as another process could
// while a program works in it: the folder, when it is there, is moved to
// aside first. False when the link is not there.
bool SwapFolderForLink(const std::string& folder, const std::string& aside,
                       const std::string& target);
// Creates a folder and those above it that are missing (a full path).
void MakeFolders(const std::string& path);

// Where a helper was called from: the default argument of the helpers that
// check what they do, so that their failures name the test's line.
struct CallSite {
  const char* file;
  int line;
};
inline CallSite Here(const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  return {file, line};
}

// The folder of a CSIDL_ value, "" when the system has none.
std::string SpecialFolder(int csidl);

// The places of the product's links and program groups, by special folder.
struct ShortcutPlace {
  int csidl;
  const char* name;  // "Korvik.lnk", or the group folder "Korvik"
  bool group;
};
constexpr ShortcutPlace kShortcutPlaces[] = {
    {CSIDL_DESKTOPDIRECTORY, "Korvik.lnk", false},
    {CSIDL_COMMON_DESKTOPDIRECTORY, "Korvik.lnk", false},
    {CSIDL_STARTMENU, "Korvik.lnk", false},
    {CSIDL_COMMON_STARTMENU, "Korvik.lnk", false},
    {CSIDL_PROGRAMS, "Korvik", true},
    {CSIDL_COMMON_PROGRAMS, "Korvik", true},
};
// The place's link or group folder, "" when the system has no such folder.
std::string ShortcutPath(const ShortcutPlace& place);

// True for a 32-bit process on 64-bit Windows, asked of the system directly.
bool IsWow64();

// The registry view that the program's own writes under HKCR\CLSID land in:
// the 32-bit one for the shipped 32-bit build, the 64-bit one for the 64-bit
// build that hosts without 32-bit code test (tests and program share a width).
constexpr REGSAM kProgramView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// The handler names the shell extensions are registered under in this
// prefix: both libraries under WOW64, the 32-bit one's alone elsewhere.
std::vector<const char*> HandlerNamesInUse();

// Skips a case that is about a 32-bit program on 64-bit Windows (the two
// registry views, the shell extension's two registrations) in the 64-bit
// build, where there is no such program.
#define KORVIK_SKIP_IN_64_BIT_BUILD()                                                   \
  do {                                                                                  \
    if (sizeof(void*) == 8) GTEST_SKIP() << "about a 32-bit program on 64-bit Windows"; \
  } while (0)

// --- Registry access, independent of the code under test --------------------
// view is 0 (the process's own), KEY_WOW64_32KEY or KEY_WOW64_64KEY.

bool KeyExists(HKEY root, const std::string& path, REGSAM view = 0);

struct RawValue {
  LONG status = -1;      // ERROR_SUCCESS when the value was read
  bool present = false;  // the same, as a flag
  DWORD type = REG_NONE;
  std::string data;  // as stored, terminator included
};
RawValue ReadRaw(HKEY root, const std::string& path, const char* name, REGSAM view = 0);

// The stored text of a REG_SZ value; "<absent>", "<type N>" or
// "<unterminated>" otherwise.
std::string ReadText(HKEY root, const std::string& path, const char* name, REGSAM view = 0);
// A REG_DWORD value; -1 when it is missing or of another type.
long long ReadNumber(HKEY root, const std::string& path, const char* name, REGSAM view = 0);
// The names of a key's values, sorted; none when the key is missing.
std::vector<std::string> ValueNames(HKEY root, const std::string& path, REGSAM view = 0);
// The names of a key's subkeys; none for a missing key.
std::vector<std::string> SubKeyNames(HKEY root, const std::string& path, REGSAM view = 0);

// Writes a value, creating the key; the status. (The checked writes are
// WriteRaw, WriteText and WriteNumber below.)
LONG SetRawValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
                 DWORD size, REGSAM view = 0);
// No error when the key or the value is missing.
void DeleteValue(HKEY root, const std::string& path, const char* name, REGSAM view = 0);

// Deletes a key and all below it, in one view; true when it is gone (or
// was missing). Each child is opened relative to its parent: Wine's "A"
// functions take no path longer than 260 characters from a root.
bool DeleteKeyTree(HKEY root, const std::string& subKey, REGSAM view = 0);

// The deletions and renames that the system keeps for its next start
// (HKEY_LOCAL_MACHINE, "PendingFileRenameOperations"): taken when made, and
// put back as they were when destroyed, so that a test leaves none behind.
class ScopedPendingRenames {
 public:
  ScopedPendingRenames();
  ~ScopedPendingRenames();
  ScopedPendingRenames(const ScopedPendingRenames&) = delete;
  ScopedPendingRenames& operator=(const ScopedPendingRenames&) = delete;

  // The files scheduled for deletion since construction, as Windows paths
  // ("C:\dir\file"), in the order they were recorded.
  std::vector<std::string> AddedDeletions() const;

 private:
  bool existed_;
  std::vector<char> saved_;  // the value's bytes, REG_MULTI_SZ
};

// Keeps a file's contents, or its absence, and puts them back when
// destroyed.
class ScopedFileRestore {
 public:
  explicit ScopedFileRestore(std::string path);
  ~ScopedFileRestore();
  ScopedFileRestore(const ScopedFileRestore&) = delete;
  ScopedFileRestore& operator=(const ScopedFileRestore&) = delete;

 private:
  std::string path_;
  bool existed_;
  std::string contents_;
};

// The 9x family's list of renames for the next start, "wininit.ini" in the
// Windows folder: taken away when made, so that a test reads only what it
// wrote, and put back as it was when destroyed.
class ScopedNoWininit {
 public:
  ScopedNoWininit();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  ScopedFileRestore restore_;
};

// A whole file's bytes ("" when it cannot be read), and a file written
// whole (false when it could not be).
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& contents);

// Registry and file names do not depend on letter case.
struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return _stricmp(a.c_str(), b.c_str()) < 0;
  }
};

// A registry tree as text, for comparing the same tree at two moments:
// "PATH\" for every key (the tree's own key included) and "PATH|NAME" for
// every value (NAME empty for the default value), each mapped to "" for a
// key and to "TYPE:HEX BYTES" for a value. PATH is subKey and the names
// below it. A missing tree gives an empty snapshot.
using RegistrySnapshot = std::map<std::string, std::string, NoCase>;
RegistrySnapshot SnapshotRegistry(HKEY root, const std::string& subKey, REGSAM view = 0);

// A value as a snapshot shows it.
std::string SnapshotData(DWORD type, const std::string& bytes);
inline std::string SnapshotText(const std::string& text) {
  return SnapshotData(REG_SZ, text + '\0');
}

// The entries that differ between two snapshots, one line each: "- ENTRY =
// DATA" for what only before holds, "+ ENTRY = DATA" for what only after
// holds (a changed value gives both; a key has no " = DATA"). Empty when
// they are equal.
std::vector<std::string> SnapshotDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after);

// The old name of DeleteKeyTree in one view.
inline void DeleteKeyTreeInView(HKEY root, const std::string& subKey, REGSAM view) {
  DeleteKeyTree(root, subKey, view);
}

// The names of the files and folders in a folder (not below), sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// The files and folders below a folder, as paths relative to it, sorted;
// folders end with a backslash. Empty when the folder is missing.
std::vector<std::string> ListTree(const std::string& folder);

// The kernel's name of a key below HKEY_CURRENT_USER ("\Registry\User\SID"),
// HKEY_LOCAL_MACHINE ("\Registry\Machine") or HKEY_CLASSES_ROOT (its
// machine part, "\Registry\Machine\Software\Classes"), as a registry link
// names its target; empty for another root.
std::wstring KernelKeyPath(HKEY root, const std::string& path);

// Makes root\link a registry link (REG_OPTION_CREATE_LINK, volatile) to the
// key of that kernel name; false when it could not be made. Opening the
// link follows it unless REG_OPTION_OPEN_LINK is given.
bool CreateRegistryLink(HKEY root, const std::string& link, const std::wstring& kernelTarget);
// Deletes root\link when it is a registry link, not what it points at;
// true when no such link is left.
bool DeleteRegistryLink(HKEY root, const std::string& link);
// True when root\link exists as a link key.
bool RegistryLinkExists(HKEY root, const std::string& link);

// The same for HKEY_CURRENT_USER\link and HKEY_CURRENT_USER\target.
bool CreateRegistryLink(const std::string& link, const std::string& target);
bool DeleteRegistryLink(const std::string& link);
bool RegistryLinkExists(const std::string& link);

// --- What the product may touch ---------------------------------------------

// A registry key of a test's own, named as in the footprint.
struct RegistryKey {
  HKEY root;
  std::string path;
  REGSAM view = 0;
};

// The archive extensions, ".rev" and the volume extensions ".o00" to ".o99".
std::vector<std::string> FootprintExtensions();
std::string Volume(int number);  // ".o07"
constexpr int kVolumeCount = 100;

// Deletes everything the product may have made (its keys in both views,
// its approved extension values, its links and program groups) and the
// keys the test prepared.
void ResetFootprint(const std::vector<RegistryKey>& prepared = {});

// The footprint and the keys around it that a fault could touch, as one
// snapshot with root-named paths ("HKCR\.zip\", "HKLM\...|Name", "HKCR64\"
// for the 64-bit view), the keys the test prepared, and the links' folders
// and the given folders as "FILE PATH" entries (the size of a file, "" for a
// folder).
RegistrySnapshot SnapshotFootprint(const std::vector<RegistryKey>& prepared = {},
                                   const std::vector<std::string>& folders = {});

// ResetFootprint when made and when destroyed.
class ScopedFootprintReset {
 public:
  explicit ScopedFootprintReset(std::vector<RegistryKey> prepared = {});
  ~ScopedFootprintReset();
  ScopedFootprintReset(const ScopedFootprintReset&) = delete;
  ScopedFootprintReset& operator=(const ScopedFootprintReset&) = delete;

 private:
  std::vector<RegistryKey> prepared_;
};

}  // namespace test

// The test programs' checked writes: a failure is reported at the caller's
// line. Left out where GoogleTest is not at hand (the bench and probe.exe
// build this file without it).
#if __has_include(<gtest/gtest.h>)
#include <gtest/gtest.h>

namespace test {

inline LONG WriteRaw(HKEY root, const std::string& path, const char* name, DWORD type,
                     const void* data, DWORD size, REGSAM view = 0, CallSite site = Here()) {
  LONG status = SetRawValue(root, path, name, type, data, size, view);
  if (status != ERROR_SUCCESS) {
    ADD_FAILURE_AT(site.file, site.line)
        << "writing " << path << "|" << (name ? name : "") << ": status " << status;
  }
  return status;
}

// A REG_SZ text with its terminator.
inline void WriteRaw(HKEY root, const std::string& path, const char* name, const std::string& text,
                     REGSAM view = 0, CallSite site = Here()) {
  WriteRaw(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), view, site);
}

inline void WriteText(HKEY root, const std::string& path, const char* name, const std::string& text,
                      REGSAM view = 0, CallSite site = Here()) {
  WriteRaw(root, path, name, text, view, site);
}

inline void WriteNumber(HKEY root, const std::string& path, const char* name, DWORD number,
                        REGSAM view = 0, CallSite site = Here()) {
  WriteRaw(root, path, name, REG_DWORD, &number, sizeof number, view, site);
}

}  // namespace test
#endif
