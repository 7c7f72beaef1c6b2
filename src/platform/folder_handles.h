// Files and folders reached through the handle of the folder that holds
// them (the NT family): each name is looked up inside a folder already open
// and checked, so a folder swapped for a link after the check cannot lead
// elsewhere. Names are one component each, in the ANSI code page; path is
// the same entry's full path, read only where Wine's handles cannot show a
// link. The native functions are looked up at run time.
#pragma once

#include <windows.h>

#include <cstddef>

// True on the NT family when the system has every function used here.
bool FolderHandlesAvailable();

// An open folder that closes itself; it cannot be copied.
class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle() { Close(); }
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // The folder at path itself, when it is a real folder (no link). Opened
  // with FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT.
  bool OpenPath(const char* path);
  // The real folder name inside parent, whose path is path. False, with
  // the last error set, when it is missing, no folder or a link.
  bool OpenChild(const FolderHandle& parent, const char* name, const char* path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

// The attributes of name inside parent, as FileAttributes gives them: the
// reparse bit only for a link. INVALID_FILE_ATTRIBUTES when they cannot be
// read; LastFailureFoundNothing tells whether there is nothing of the name.
DWORD AttributesIn(const FolderHandle& parent, const char* name, const char* path);

// Deletes the file name inside parent, a file link itself. False, with the
// last error set, for a folder or what cannot be deleted.
bool DeleteFileIn(const FolderHandle& parent, const char* name);

// Removes name inside parent when it is an empty real folder, or a folder
// link that the system opens as the link itself. False, with the last error
// set, otherwise (LastFailureWasNotEmpty).
bool RemoveFolderIn(const FolderHandle& parent, const char* name, const char* path,
                    bool linkExpected);

// Removes the open folder when it is empty, through its own handle, and
// closes it. False, with the last error set and the folder open, otherwise.
bool RemoveOpenFolder(FolderHandle& folder);

// Clears read-only, hidden and system of name inside parent (never a link:
// the caller checks).
void ClearAttributesIn(const FolderHandle& parent, const char* name);

// Renames the file name inside parent to newName in the same folder, when
// path still names that very file; fails when newName exists.
bool MoveFileIn(const FolderHandle& parent, const char* name, const char* newName,
                const char* path);

// True when path, by its name, leads to the entry name inside parent.
bool PathNamesEntryIn(const FolderHandle& parent, const char* name, const char* path);

// For an open handle to a reparse point: true when it is a link (a name
// surrogate such as a symbolic link or junction) or its tag cannot be read;
// false for other reparse points (deduplicated files, cloud placeholders).
bool ReparsePointIsLink(HANDLE handle);

// The rule ReparsePointIsLink applies to a tag: symbolic links (0xA000000C),
// junctions (0xA0000003) and every other name surrogate are links, and so
// is the tag 0, which no reparse point has.
bool ReparseTagIsLink(unsigned long tag);
