// The deletion passes over the list file "Uninstall.lst": every listed file
// and empty listed folder is removed, pass after pass, until a pass removes
// nothing; files in use are moved aside and deleted at the next restart.
#pragma once

#include <cstddef>

#include "platform/stream.h"

constexpr char kListFileName[] = "Uninstall.lst";

// The most temporary names tried for one file in use: "%s.0.tmp" to
// "%s.999.tmp".
constexpr int kTemporaryNameCount = 1000;

// Lines of the list, counted from 0, whose removal a later pass remembers
// and skips. Lines beyond are handled in every pass, as they would be
// without the table; the table is fixed so that it cannot fail to grow.
constexpr std::size_t kRememberedLines = std::size_t{1} << 20;

struct DeletionOutcome {
  int passes = 0;              // passes run, the last of them removing nothing
  bool restartNeeded = false;  // a file in use could not even be moved aside
  long tried = 0;              // entries looked at on disk, over all passes
  long removed = 0;            // files deleted and folders removed
};

// Runs the passes over list, read from its current position and rewound for
// every further pass. Entries are relative to programFolder, which ends with
// a backslash; one that would reach outside it (EntryStaysInFolder), or that
// does not fit a path buffer with it, is skipped. A file in use whose name
// part is that of programPath, or "Uninstall.lst", is left alone: both are
// removed later by other means. An entry removed by one pass is not looked
// at again by later ones.
DeletionOutcome RunDeletionPasses(ByteStream& list, const char* programFolder,
                                  const char* programPath);

// True when an entry of the list names something inside the program folder:
// false for an absolute or drive-qualified path (any colon), a UNC or
// device path or one rooted at the drive (a leading backslash or slash),
// and for any component that is ".." (or only dots and blanks, with two
// dots or more, which the system may take for ".."). The walk goes by
// characters of the ANSI code page: a trail byte is no separator.
bool EntryStaysInFolder(const char* entry);

// The first of "path.0.tmp" to "path.999.tmp" that names nothing, or
// "path.999.tmp" when all exist. False when the name does not fit.
bool FindTemporaryName(const char* path, char* name, std::size_t capacity);
