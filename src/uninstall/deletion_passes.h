// The deletion passes over the list file "Uninstall.lst": every listed file
// and empty listed folder is removed, pass after pass, until a pass removes
// nothing; files in use are moved aside and deleted at the next restart.
#pragma once

#include <cstddef>

#include "platform/stream.h"
#include "platform/text.h"

// Lines of the list, counted from 0, whose removal a later pass remembers
// and skips. Lines beyond are handled in every pass, as they would be
// without the table; the table is fixed so that it cannot fail to grow.
constexpr std::size_t kRememberedLines = std::size_t{1} << 20;

// Folders told apart within one run: each is looked at once for being a
// link. Folders beyond are looked at for every entry below them.
constexpr std::size_t kFolderSlots = std::size_t{1} << 15;
// Room for the relative names of those folders.
constexpr std::size_t kFolderTextSize = std::size_t{1} << 20;

// The paths of files that could be neither removed nor scheduled for
// removal at the next restart, one per line. What does not fit is left out,
// and a last line "(+N)" says how many paths that is.
constexpr std::size_t kLeftoverListSize = 4 * kPathSize;
// Room kept for that line: a line feed, "(+", the number and ")".
constexpr std::size_t kLeftoverTailSize = 16;

struct DeletionOutcome {
  int passes = 0;              // passes run, the last of them removing nothing
  bool restartNeeded = false;  // a file stays under its own name until the restart
  long tried = 0;              // entries looked at on disk, over all passes
  long removed = 0;            // files deleted and folders removed
  char leftovers[kLeftoverListSize] = {};
  long leftoversLeftOut = 0;  // paths that did not fit in leftovers
};

// Runs the passes over list, read from its current position and rewound for
// every further pass. Entries are relative to programFolder, which ends with
// a backslash; one that would reach outside it (EntryStaysInFolder), that
// names a device (NamesDevice), that lies below a link, or that does not fit
// a path buffer with it, is skipped. An entry that is a link itself is
// removed as a link, its attributes untouched. A file in use whose name part
// is that of programPath, or "Uninstall.lst", is left alone: both are
// removed later by other means. A listed folder that still holds something
// is tried again at the end of the pass, the last one first, so that a list
// naming folders before their contents needs no pass per level. An entry
// removed or scheduled by one pass is not looked at again by later ones.
// When a file is scheduled for removal at the restart, so are, at the end
// of the run and after the files, the folders above it that the list names
// or that hold nothing but what goes at the restart (the program folder
// may also hold the program file and the list file), the deepest first.
// On the NT family every entry is opened and deleted relative to the
// handles of its folders, each opened and checked in turn and kept open for
// the run, so that a folder replaced by a link during the run leads
// nowhere; a program folder that is no real folder has nothing touched. The
// 9x family, which has no links, goes by names.
DeletionOutcome RunDeletionPasses(ByteStream& list, const char* programFolder,
                                  const char* programPath);

// Called before each entry a pass looks at, with the entry's line (from 0);
// null for none. Tests change the folder there, as another process could.
using BeforeEntryHook = void (*)(std::size_t line, void* context);
void SetBeforeEntryHookForTest(BeforeEntryHook hook, void* context);

// Deletes a file, clearing read-only, hidden and system first only when
// they stand in the way (or the attributes cannot be read), never those of
// a link: they would be its target's.
bool DeleteFileAsItIs(const char* path);
