// Helpers shared by the test programs.
#pragma once

#include <windows.h>

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

// True when a file or folder of that name exists.
bool Exists(const std::string& path);
// Waits until the path exists (present) or no longer exists (not present);
// false when that did not happen within timeoutMs.
bool WaitForPath(const std::string& path, bool present, DWORD timeoutMs);

// Removes a folder and everything in it; true when it is gone.
bool RemoveTree(const std::string& folder);
// Creates a folder and those above it that are missing (a full path).
void MakeFolders(const std::string& path);

// Deletes a registry key and all below it; no error when it is missing.
void DeleteKeyTree(HKEY root, const std::string& subKey);

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

// A whole file's bytes ("" when it cannot be read), and a file written
// whole (false when it could not be).
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& contents);

}  // namespace test

#include <map>

namespace test {

// A registry tree as text, for comparing the same tree at two moments:
// "PATH\" for every key (the tree's own key included) and "PATH|NAME" for
// every value (NAME empty for the default value), each mapped to "" for a
// key and to "TYPE:HEX BYTES" for a value. PATH is subKey and the names
// below it. view is 0 (the process's own), KEY_WOW64_32KEY or
// KEY_WOW64_64KEY. A missing tree gives an empty snapshot.
using RegistrySnapshot = std::map<std::string, std::string>;
RegistrySnapshot SnapshotRegistry(HKEY root, const std::string& subKey, REGSAM view = 0);

// The entries that differ between two snapshots, one line each: "- ENTRY =
// DATA" for what only before holds, "+ ENTRY = DATA" for what only after
// holds (a changed value gives both). Empty when they are equal.
std::vector<std::string> SnapshotDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after);

// Deletes a key and all below it in one registry view (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY); no error when it is missing.
void DeleteKeyTreeInView(HKEY root, const std::string& subKey, REGSAM view);

// The files and folders below a folder, as paths relative to it, sorted;
// folders end with a backslash. Empty when the folder is missing.
std::vector<std::string> ListTree(const std::string& folder);

// Makes HKEY_CURRENT_USER\link a registry link (REG_OPTION_CREATE_LINK) to
// HKEY_CURRENT_USER\target; false when it could not be made. Opening the
// link follows it unless REG_OPTION_OPEN_LINK is given.
bool CreateRegistryLink(const std::string& link, const std::string& target);
// Deletes HKEY_CURRENT_USER\link when it is a registry link, not what it
// points at; true when no such link is left.
bool DeleteRegistryLink(const std::string& link);
// True when HKEY_CURRENT_USER\link exists as a link key.
bool RegistryLinkExists(const std::string& link);

}  // namespace test
