// Path and text operations on narrow texts in the ANSI code page. Walks are
// aware of double-byte code pages: a trail byte is never taken for a
// separator. Nothing here allocates.
#pragma once

#include <cstddef>

// Fills the lead-byte table of the ANSI code page. Runs once during static
// start-up; tests call it again after they switch the table on or off.
void InitLeadByteTable();

// True for a lead byte of a double-byte ANSI code page.
bool IsLeadByte(char c);

// Marks the lead bytes of a code page (0, CP_ACP: the ANSI code page);
// none for a single-byte or unknown one.
void ReadLeadBytes(unsigned codePage, bool (&leadBytes)[256]);

// The position after the character that starts at text: two bytes on for a
// lead byte followed by a non-terminator, else one.
char* NextChar(char* text);
const char* NextChar(const char* text);

bool IsSeparator(char c);
bool IsDriveColon(char c);

// Position of the name part: after the last separator, else after "X:",
// else the start. A text ending in a separator yields its terminator.
char* FileNamePart(char* text);
const char* FileNamePart(const char* text);

// First byte of the last character; the start for an empty text.
char* LastChar(char* text);
const char* LastChar(const char* text);

// Appends a backslash unless the text is empty or already ends in one. The
// buffer must have room for one more byte (all callers use path buffers).
void AppendBackslash(char* text);

// "folder\name" followed by extension into out: a backslash goes between
// unless the folder ends in one. False when it does not fit: a cut path
// names another file.
bool JoinPath(char* out, std::size_t capacity, const char* folder, const char* name,
              const char* extension = "");

// Cuts a path to its folder; a drive root keeps its backslash.
void CutFileName(char* text);

// Removes trailing CR, LF, blank and tab bytes; returns text.
char* TrimLineEnd(char* text);

// 0 when equal without regard to case, negative when a sorts first,
// positive when b does; -2 when the comparison fails.
int CompareNames(const char* a, const char* b);

// True for a text that can name a file inside a given folder and nothing
// else: not empty, no separator, drive colon, wildcard, quote, angle
// bracket, bar or control character, and not a device name ("CON",
// "NUL.txt", "com1"), which Windows takes for the device in any folder.
bool IsPlainFileName(const char* text);

// True for an existing file or folder.
bool PathExists(const char* name);

// The path of the file called name in the program's own folder: the
// program's path (GetProgramPath) with its name part replaced by name.
// False, with out emptied, when the path does not fit in capacity bytes: a
// cut path would name another file.
bool PathBesideProgram(const char* name, char* out, std::size_t capacity);
