// The installation as both the setup and the uninstall see it: the
// program's folder, the list file "Uninstall.lst" and its entries, and the
// names a removal gives files in use.
#pragma once

#include <cstddef>

#include "platform/stream.h"

constexpr char kListFileName[] = "Uninstall.lst";

// The switch that makes a removal quiet, as the uninstall entry and the
// self-removal batch file write it.
constexpr char kQuietSwitch[] = "/quiet";

// The most temporary names tried for one file in use: "%s.0.tmp" to
// "%s.999.tmp".
constexpr int kTemporaryNameCount = 1000;

// Cuts a program's path to its folder at the last backslash; a drive root
// keeps its backslash ("C:\"). False, with the path untouched, when there is
// no backslash. The one rule by which the program's folder is found.
bool CutToProgramFolder(char* path);

// The folder of this program, as above ("C:\Program Files\Korvik"). False,
// with folder empty, when the program's path is unknown or does not fit.
bool GetProgramFolder(char* folder, std::size_t capacity);

// The same folder with a backslash at the end, for joining names to it.
bool GetProgramFolderPrefix(char* prefix, std::size_t capacity);

// Opens the list file of the folder (folderPrefix ends with a backslash)
// and gives its path. False when it does not fit or cannot be opened.
bool OpenListFile(const char* folderPrefix, ByteStream& list, char* listPath, std::size_t capacity);

enum class ListLine {
  End,    // no more lines
  Entry,  // an entry, its line end trimmed
  Skip,   // an empty line, or one cut at the buffer: it names no entry
};
// Reads the next line of the list. Every line counts, whatever it holds.
ListLine ReadListLine(ByteStream& list, char* line, std::size_t capacity);

// True when an entry of the list names something inside the program folder:
// false for an absolute or drive-qualified path (any colon), a UNC or
// device path or one rooted at the drive (a leading backslash or slash),
// and for any component that is ".." (or only dots and blanks, with two
// dots or more, which the system may take for ".."). The walk goes by
// characters of the ANSI code page: a trail byte is no separator.
bool EntryStaysInFolder(const char* entry);

// True when a component of entry is a DOS device name ("NUL", "con.txt",
// "COM1.", "CONOUT$"...), which names no file but a device wherever it
// stands.
bool NamesDevice(const char* entry);

// The first of "path.0.tmp" to "path.999.tmp" that names nothing, or
// "path.999.tmp" when all exist. False when the name does not fit.
bool FindTemporaryName(const char* path, char* name, std::size_t capacity);

// True for a name a removal gives a file in use: "<name>.<digits>.tmp".
bool IsTemporaryName(const char* name);
