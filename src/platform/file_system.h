// Files and folders by their narrow ANSI names: attributes, deletion,
// moves, the current and the temporary folder, and deletion deferred to the
// next restart.
#pragma once

#include <windows.h>

#include <cstddef>

// The attributes of a file or folder; INVALID_FILE_ATTRIBUTES when there is
// nothing of that name. The reparse bit is kept only for links: other
// reparse points (deduplicated files, cloud placeholders) are ordinary
// files and folders.
DWORD FileAttributes(const char* path);
bool IsFolder(DWORD attributes);  // valid attributes of a folder
// Valid attributes of a symbolic link, junction or other name surrogate, as
// FileAttributes gives them: removing it must not reach what it points at.
bool IsLink(DWORD attributes);
// Valid attributes that hold read-only, hidden or system.
bool HasProtectingAttributes(DWORD attributes);
// True when the last failed call found nothing of the name it was given.
bool LastFailureFoundNothing();

// Clears read-only, hidden and system, so that the entry can be deleted.
void ClearFileAttributes(const char* path);

bool DeleteOneFile(const char* path);
// Removes a folder only when it is empty. A folder link goes itself.
bool RemoveEmptyFolder(const char* path);
// Removes a folder link (symbolic link or junction) itself, never the
// folder it points at. False, with nothing touched, when the system does
// not open the link itself.
bool RemoveFolderLink(const char* path);
// Removes every folder link in the tree of an existing folder, the folder
// itself when it is one, so that a deletion that walks the tree afterwards
// (the shell's) enters none and deletes nothing they point at. path is a
// buffer of kPathSize bytes; it holds the same text again on return. False
// when a link stays or a name in the tree does not fit.
bool RemoveFolderLinksInTree(char* path);
// After RemoveEmptyFolder failed: true when the folder holds something.
bool LastFailureWasNotEmpty();
// True when both paths lead to one and the same file, whatever names (a
// short name, say) they give it. False when either cannot be opened.
bool IsSameFile(const char* a, const char* b);
// Renames a file within its volume; fails when the new name exists.
bool MoveOneFile(const char* from, const char* to);

bool SetCurrentFolder(const char* path);

// The temporary folder, with its trailing backslash. False, with the buffer
// emptied, when there is none or it does not fit.
bool GetTemporaryFolder(char* path, std::size_t capacity);

// The short (8.3) form of an existing path. False, with out emptied, when
// the system gives none or it does not fit.
bool GetShortPath(const char* path, char* out, std::size_t capacity);

// Has the file deleted when the system next starts. The NT family records
// it with MoveFileExA; the 9x family reads "NUL=" lines of the section
// "Rename" in "wininit.ini" of the Windows folder, given the file's short
// path. False when the system refused to record it.
bool DeleteAtRestart(const char* path);

// Has an empty folder removed when the system next starts, after the files
// scheduled before it. The NT family only; the 9x family's "wininit.ini"
// deletes files, and nothing is done there.
void RemoveFolderAtRestart(const char* path);

// Calls accept for every name in folder but "." and "..", with whether it
// is a folder and the caller's context, until accept says no. False when accept said no or the
// folder cannot be read.
bool EveryNameInFolder(const char* folder, const char* context,
                       bool (*accept)(const char* name, bool isFolder, const char* context));

// Makes DeleteAtRestart fail, as it does without the rights to record it,
// which Wine never refuses.
void SetRestartDeletionFaultForTest(bool fail);

// Adds "NUL=value" to the section "Rename" of the profile file ini, after
// the lines already there. Writing the key with WritePrivateProfileStringA
// would replace the one "NUL" line there is, so that only the last file
// scheduled would go at the restart; the whole section is written back
// instead, its earlier lines kept. A section too large for the profile
// buffer gets the key written the plain way.
bool AddRestartDeletion(const char* ini, const char* value);
