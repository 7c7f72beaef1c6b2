// Shell services: change notification, special folders, folder creation
// and deletion, opening documents.
#pragma once

#include <cstddef>

// Tells the shell that file associations changed, flushing at once.
void NotifyAssociationsChanged(bool flush);

// The file-system path of a special folder (a CSIDL value) into path. False,
// with path emptied, when the shell does not find the folder (it may not
// exist), has no file-system path for it, or the path does not fit.
bool GetSpecialFolderPath(int csidl, char* path, std::size_t capacity);

// Creates one folder; its parent must exist. False when nothing was
// created, also when the folder was there already.
bool CreateFolder(const char* path);

// True for an absolute path that names something below a drive root
// ("X:\...") or below a share ("\\server\share\..."): only such a folder is
// ever handed to the shell for deletion.
bool IsBelowRoot(const char* path);

// Deletes a folder and everything in it through the shell, for good (not to
// the recycle bin) and without asking. False, without calling the shell,
// when nothing of that name exists, when the path is not below a root
// (IsBelowRoot) or is longer than a path buffer holds; otherwise true when
// the shell reported success.
bool RemoveFolderTree(const char* path);

// Opens a document, folder, program or web address as the shell's "open"
// verb does, with no owner window. The result is not looked at.
void OpenWithShell(const char* target);
// The same, with folder as the current folder of whatever it starts.
void OpenWithShell(const char* target, const char* folder);
