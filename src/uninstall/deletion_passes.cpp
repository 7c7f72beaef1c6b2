#include "uninstall/deletion_passes.h"

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

// Moves a file that cannot be deleted to a free temporary name and has that
// deleted at the next restart. A file that cannot even be moved is
// scheduled under its own name; the result then says a restart is needed.
bool SetAsideFileInUse(const char* path) {
  char temporary[kPathSize];
  bool moved = FindTemporaryName(path, temporary, kPathSize) && MoveOneFile(path, temporary);
  DeleteAtRestart(moved ? temporary : path);
  return !moved;
}

// The program file and the list file have removals of their own.
bool HasItsOwnRemoval(const char* path, const char* programName) {
  const char* name = FileNamePart(path);
  return CompareNames(name, programName) == 0 || CompareNames(name, kListFileName) == 0;
}

// Handles one entry of a pass; true when it was removed.
bool RemoveEntry(const char* path, const char* programName, bool& restartNeeded) {
  DWORD attributes = FileAttributes(path);
  ClearFileAttributes(path);  // read-only, hidden and system stand in the way
  if (IsFolder(attributes)) return RemoveEmptyFolder(path);
  if (DeleteOneFile(path)) return true;
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // gone, or never there
  if (HasItsOwnRemoval(path, programName)) return false;
  if (SetAsideFileInUse(path)) restartNeeded = true;
  return false;
}

// One pass over the whole list; the number of entries it removed.
int RunPass(ByteStream& list, const char* programFolder, const char* programName,
            bool& restartNeeded) {
  int removed = 0;
  char line[kListLineSize];
  for (;;) {
    LineRead read = list.ReadLine(line, sizeof line);
    if (read == LineRead::End) break;
    if (read == LineRead::TooLong) continue;  // a cut line names another path
    TrimLineEnd(line);
    if (line[0] == '\0') continue;
    char path[kPathSize];
    if (!CopyText(path, programFolder) || !AppendText(path, line)) continue;
    if (RemoveEntry(path, programName, restartNeeded)) ++removed;
  }
  return removed;
}

}  // namespace

bool FindTemporaryName(const char* path, char* name, std::size_t capacity) {
  for (int i = 0; i < kTemporaryNameCount; ++i) {
    if (!FormatText(name, capacity, "%s.%d.tmp", path, i)) return false;
    if (FileAttributes(name) == INVALID_FILE_ATTRIBUTES) return true;
  }
  return true;  // the last name tried; moving onto it fails
}

DeletionOutcome RunDeletionPasses(ByteStream& list, const char* programFolder,
                                  const char* programPath) {
  DeletionOutcome outcome;
  const char* programName = FileNamePart(programPath);
  for (;;) {
    ++outcome.passes;
    if (RunPass(list, programFolder, programName, outcome.restartNeeded) == 0) break;
    list.Rewind();
  }
  return outcome;
}
