// Files and folders by their narrow ANSI names: attributes, deletion,
// moves, the current and the temporary folder, and deletion deferred to the
// next restart.
#pragma once

#include <windows.h>

#include <cstddef>

// The attributes of a file or folder; INVALID_FILE_ATTRIBUTES when there is
// nothing of that name.
DWORD FileAttributes(const char* path);
bool IsFolder(DWORD attributes);  // valid attributes of a folder

// Clears read-only, hidden and system, so that the entry can be deleted.
void ClearFileAttributes(const char* path);

bool DeleteOneFile(const char* path);
// Removes a folder only when it is empty.
bool RemoveEmptyFolder(const char* path);
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
// path. Nothing is reported.
void DeleteAtRestart(const char* path);

// Adds "NUL=value" to the section "Rename" of the profile file ini, after
// the lines already there. Writing the key with WritePrivateProfileStringA
// would replace the one "NUL" line there is, so that only the last file
// scheduled would go at the restart; the whole section is written back
// instead, its earlier lines kept. A section too large for the profile
// buffer gets the key written the plain way.
void AddRestartDeletion(const char* ini, const char* value);
