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

struct DeletionOutcome {
  int passes = 0;              // passes run, the last of them removing nothing
  bool restartNeeded = false;  // a file in use could not even be moved aside
};

// Runs the passes over list, read from its current position and rewound for
// every further pass. Entries are relative to programFolder, which ends with
// a backslash. A file in use whose name part is that of programPath, or
// "Uninstall.lst", is left alone: both are removed later by other means.
DeletionOutcome RunDeletionPasses(ByteStream& list, const char* programFolder,
                                  const char* programPath);

// The first of "path.0.tmp" to "path.999.tmp" that names nothing, or
// "path.999.tmp" when all exist. False when the name does not fit.
bool FindTemporaryName(const char* path, char* name, std::size_t capacity);
