#include "uninstall/deletion_passes.h"

#include <cstdint>
#include <cstring>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

enum class EntryResult { Removed, Left, MovedAside };

// The lines whose entry an earlier pass of this run has removed. What was
// removed cannot come back, unless a file in use is moved onto a listed
// name; a move therefore empties the table.
class RemovedLines {
 public:
  void Clear() { std::memset(words_, 0, sizeof words_); }
  bool Has(std::size_t line) const {
    return line < kRememberedLines && (words_[line / kWordBits] & Bit(line)) != 0;
  }
  void Add(std::size_t line) {
    if (line < kRememberedLines) words_[line / kWordBits] |= Bit(line);
  }

 private:
  static constexpr std::size_t kWordBits = 32;
  static std::uint32_t Bit(std::size_t line) { return std::uint32_t{1} << (line % kWordBits); }
  std::uint32_t words_[kRememberedLines / kWordBits];
};

RemovedLines removedLines;  // 128 KiB: static, not on the stack

// Moves a file that cannot be deleted to a free temporary name and has that
// deleted at the next restart. A file that cannot even be moved is
// scheduled under its own name and needs the restart notice.
EntryResult SetAsideFileInUse(const char* path, bool& restartNeeded) {
  char temporary[kPathSize];
  bool moved = FindTemporaryName(path, temporary, kPathSize) && MoveOneFile(path, temporary);
  DeleteAtRestart(moved ? temporary : path);
  if (!moved) restartNeeded = true;
  return moved ? EntryResult::MovedAside : EntryResult::Left;
}

// The program file and the list file have removals of their own.
bool HasItsOwnRemoval(const char* path, const char* programName) {
  const char* name = FileNamePart(path);
  return CompareNames(name, programName) == 0 || CompareNames(name, kListFileName) == 0;
}

EntryResult RemoveEntry(const char* path, const char* programName, bool& restartNeeded) {
  DWORD attributes = FileAttributes(path);
  ClearFileAttributes(path);  // read-only, hidden and system stand in the way
  if (IsFolder(attributes)) return RemoveEmptyFolder(path) ? EntryResult::Removed : EntryResult::Left;
  if (DeleteOneFile(path)) return EntryResult::Removed;
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryResult::Left;  // gone, or never there
  if (HasItsOwnRemoval(path, programName)) return EntryResult::Left;
  return SetAsideFileInUse(path, restartNeeded);
}

// One pass over the whole list; the number of entries it removed.
int RunPass(ByteStream& list, const char* programFolder, const char* programName,
            DeletionOutcome& outcome) {
  int removed = 0;
  char line[kListLineSize];
  for (std::size_t index = 0;; ++index) {
    LineRead read = list.ReadLine(line, sizeof line);
    if (read == LineRead::End) break;
    if (read != LineRead::Line) continue;  // a cut line names another path
    if (removedLines.Has(index)) continue;
    TrimLineEnd(line);
    if (line[0] == '\0' || !EntryStaysInFolder(line)) continue;
    char path[kPathSize];
    if (!CopyText(path, programFolder) || !AppendText(path, line)) continue;  // no cut paths
    ++outcome.tried;
    switch (RemoveEntry(path, programName, outcome.restartNeeded)) {
      case EntryResult::Removed:
        ++removed;
        removedLines.Add(index);
        break;
      case EntryResult::MovedAside:
        removedLines.Clear();
        break;
      case EntryResult::Left:
        break;
    }
  }
  return removed;
}

// A component that is "..", or that the system may trim to it: only dots
// and blanks, with two dots or more.
bool IsParentComponent(const char* start, const char* end) {
  int dots = 0;
  for (const char* p = start; p < end; ++p) {
    if (*p == '.') {
      ++dots;
    } else if (*p != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

}  // namespace

bool EntryStaysInFolder(const char* entry) {
  // "\x", "\\server\share", "\\?\C:\x" and "/x" all leave the folder.
  if (IsSeparator(entry[0])) return false;
  const char* p = entry;
  while (*p != '\0') {
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) {
      if (IsDriveColon(*p)) return false;  // "C:\x", "C:x", "C:..\x"
      p = NextChar(p);
    }
    if (IsParentComponent(start, p)) return false;
    if (*p != '\0') ++p;  // the separator, a single byte
  }
  return true;
}

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
  removedLines.Clear();
  const char* programName = FileNamePart(programPath);
  for (;;) {
    ++outcome.passes;
    int removed = RunPass(list, programFolder, programName, outcome);
    outcome.removed += removed;
    if (removed == 0) break;
    list.Rewind();
  }
  return outcome;
}
