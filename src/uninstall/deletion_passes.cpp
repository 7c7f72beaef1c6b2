#include "uninstall/deletion_passes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "installation/installation.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/folder_handles.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

// Removed: counts for the pass. Deferred: a folder tried again at the end
// of the pass. Settled: scheduled for the restart, or given up, under its
// own name; later passes need not look again.
enum class EntryResult { Removed, Left, Deferred, MovedAside, Settled };

// The lines whose entry an earlier pass of this run has removed or settled.
// What was removed cannot come back, unless a file in use is moved onto a
// listed name; a move therefore empties the table.
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

// Passable: a real folder, neither link nor device nor file, when it was
// looked at. Closed: anything else, or removed since; nothing listed below
// it is touched.
enum class FolderState : std::uint8_t { Unknown, Passable, Closed };

struct FolderSlot {
  std::uint32_t hash;
  std::uint32_t offset;  // of its name in the table's text
  std::uint32_t length;  // 0: a free slot
  FolderState state;
  bool stubborn;   // it still held something at the end of the last pass
  bool listed;     // a line of the list names it as a folder
  bool atRestart;  // a file scheduled for the restart, or a folder to be
  bool waiting;    // a folder above such a file, not yet decided
};

// The folders of one run, by their names relative to the program folder
// as the list spells them, byte for byte.
class FolderTable {
 public:
  void Clear() {
    std::memset(slots_, 0, sizeof slots_);
    used_ = 0;
    textUsed_ = 0;
  }
  // The slot of name[0, length), added as Unknown when new and add is set;
  // null when it is not there and cannot be added.
  FolderSlot* Find(const char* name, std::size_t length, bool add);
  const char* Name(const FolderSlot& slot) const { return text_ + slot.offset; }

 private:
  static constexpr std::size_t kMaxUsed = kFolderSlots / 4 * 3;  // keeps probes short
  FolderSlot slots_[kFolderSlots];
  char text_[kFolderTextSize];
  std::size_t used_ = 0;
  std::size_t textUsed_ = 0;
};

std::uint32_t HashOf(const char* name, std::size_t length) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (std::size_t i = 0; i < length; ++i) {
    hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
  }
  return hash;
}

FolderSlot* FolderTable::Find(const char* name, std::size_t length, bool add) {
  if (length == 0) return nullptr;
  std::uint32_t hash = HashOf(name, length);
  std::size_t i = hash & (kFolderSlots - 1);
  for (; slots_[i].length != 0; i = (i + 1) & (kFolderSlots - 1)) {
    const FolderSlot& slot = slots_[i];
    if (slot.hash == hash && slot.length == length &&
        std::memcmp(text_ + slot.offset, name, length) == 0) {
      return &slots_[i];
    }
  }
  if (!add || used_ >= kMaxUsed || length + 1 > kFolderTextSize - textUsed_) return nullptr;
  std::memcpy(text_ + textUsed_, name, length);
  text_[textUsed_ + length] = '\0';
  slots_[i] = FolderSlot{hash,
                         static_cast<std::uint32_t>(textUsed_),
                         static_cast<std::uint32_t>(length),
                         FolderState::Unknown,
                         false,
                         false,
                         false,
                         false};
  textUsed_ += length + 1;
  ++used_;
  return &slots_[i];
}

// Folders between the program folder and an entry: each takes two bytes of
// a path at least.
constexpr std::size_t kMaxFolderDepth = kPathSize / 2;

struct DeferredFolder {
  std::size_t line;
  FolderSlot* slot;
};

// An entry as the system reads its name: components split at either slash,
// empty ones and "." left out, trailing dots and blanks cut. folders holds
// the components before the last, each followed by a backslash.
struct EntryName {
  char folders[kPathSize];
  std::size_t foldersLength;
  char leaf[kPathSize];
  // For each component of folders, where its spelling in the line ends.
  std::size_t lineEnds[kMaxFolderDepth];
  std::size_t count;  // components in folders
};

bool AddComponent(EntryName& entry, const char* start, const char* end, std::size_t lineEnd) {
  while (end > start && (end[-1] == '.' || end[-1] == ' ')) --end;
  std::size_t length = static_cast<std::size_t>(end - start);
  if (length == 0) return false;
  if (entry.leaf[0] != '\0') {  // the previous one was a folder
    std::size_t previous = std::strlen(entry.leaf);
    if (entry.count == kMaxFolderDepth ||
        entry.foldersLength + previous + 1 >= sizeof entry.folders) {
      return false;
    }
    std::memcpy(entry.folders + entry.foldersLength, entry.leaf, previous);
    entry.foldersLength += previous;
    entry.folders[entry.foldersLength++] = '\\';
    entry.folders[entry.foldersLength] = '\0';
    ++entry.count;
  }
  if (length >= sizeof entry.leaf) return false;
  std::memcpy(entry.leaf, start, length);
  entry.leaf[length] = '\0';
  if (entry.count < kMaxFolderDepth) entry.lineEnds[entry.count] = lineEnd;
  return true;
}

// False for an entry with a component that is left with nothing.
bool ReadEntryName(const char* line, EntryName& entry) {
  entry.folders[0] = '\0';
  entry.foldersLength = 0;
  entry.leaf[0] = '\0';
  entry.count = 0;
  const char* p = line;
  while (*p != '\0') {
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) p = NextChar(p);
    bool skipped = p == start || (p - start == 1 && *start == '.');
    if (!skipped && !AddComponent(entry, start, p, static_cast<std::size_t>(p - line))) {
      return false;
    }
    if (*p != '\0') ++p;
  }
  return entry.leaf[0] != '\0';
}

// The folders from the program folder down to the one that holds the
// current entry, each open and checked as it was opened: on the NT family
// every entry is reached through them, never through its name again.
class FolderChain {
 public:
  bool Start(const char* programFolder);
  void Stop() {
    while (depth_ > 0) levels_[--depth_].Close();
  }
  // Opens the chain to folders (EntryName::folders); false, with the
  // number of its components that were reached, when one is no real
  // folder.
  bool Reach(const char* folders, std::size_t length, std::size_t* reached);
  // The folder reached last. Folders below it that were open stay so.
  const FolderHandle& Deepest() const { return levels_[target_]; }
  // Removes the folder reached last, when it is empty, through the handle
  // that was checked when it was opened; the chain then ends above it.
  bool RemoveDeepest();
  // Closes the folder reached last and those below it.
  void CloseDeepest() {
    while (depth_ > target_ && depth_ > 1) levels_[--depth_].Close();
  }

 private:
  FolderHandle levels_[kMaxFolderDepth + 1];  // the program folder first
  std::size_t ends_[kMaxFolderDepth + 1];     // of each one's components in names_
  std::size_t depth_ = 0;
  std::size_t target_ = 0;  // the level Reach reached
  char path_[kPathSize];    // the program folder with its backslash, then names_
  char* names_ = path_;
  std::size_t room_ = 0;  // for names_
};

bool FolderChain::Start(const char* programFolder) {
  Stop();
  char top[kPathSize];
  if (!CopyText(top, programFolder) || !CopyText(path_, programFolder)) return false;
  names_ = path_ + std::strlen(path_);
  room_ = kPathSize - static_cast<std::size_t>(names_ - path_);
  char* last = LastChar(top);
  if (IsSeparator(*last) && last > top && !IsDriveColon(last[-1])) *last = '\0';
  if (!levels_[0].OpenPath(top)) return false;
  ends_[0] = 0;
  names_[0] = '\0';
  depth_ = 1;
  return true;
}

bool FolderChain::Reach(const char* folders, std::size_t length, std::size_t* reached) {
  *reached = 0;
  std::size_t keep = 1;
  while (keep < depth_ && ends_[keep] <= length && std::memcmp(names_, folders, ends_[keep]) == 0) {
    ++keep;
  }
  // Folders below the one asked for stay open: the next entry may be there.
  if (ends_[keep - 1] == length) {
    target_ = keep - 1;
    *reached = target_;
    return true;
  }
  while (depth_ > keep) levels_[--depth_].Close();
  target_ = depth_ - 1;
  for (std::size_t start = ends_[depth_ - 1]; start < length;) {
    const char* end = static_cast<const char*>(std::memchr(folders + start, '\\', length - start));
    std::size_t stop = static_cast<std::size_t>(end - folders);
    if (stop >= room_ || depth_ > kMaxFolderDepth) break;
    std::memcpy(names_ + start, folders + start, stop - start);
    names_[stop] = '\0';
    if (!levels_[depth_].OpenChild(levels_[depth_ - 1], names_ + start, path_)) break;
    names_[stop] = '\\';
    ends_[depth_] = stop + 1;
    target_ = depth_++;
    start = stop + 1;
  }
  *reached = target_;
  return ends_[target_] == length;
}

bool FolderChain::RemoveDeepest() {
  if (target_ == 0) return false;  // never the program folder
  while (depth_ > target_ + 1) levels_[--depth_].Close();
  bool removed = RemoveOpenFolder(levels_[target_]);
  // A handle whose removal failed is not asked again: Wine reports a second
  // try on it done without removing the folder.
  DWORD error = GetLastError();
  levels_[target_].Close();
  depth_ = target_--;
  SetLastError(error);
  return removed;
}

// One run of the passes. Its tables are large: the one instance is static.
// On the NT family every entry is reached through the handles of its
// folders (FolderChain); the 9x family has no links and goes by names.
class Removal {
 public:
  bool Start(const char* programFolder, const char* programPath, DeletionOutcome* outcome);
  void Stop() { chain_.Stop(); }
  int RunPass(ByteStream& list);
  void RemoveFoldersAtRestart();

 private:
  EntryResult Handle(const char* line, std::size_t index);
  bool Reachable(const char* line);
  bool SpellAsTheSystemReadsIt(const char* line);
  bool ReachableByHandles(const char* line);
  bool Passable(const char* line, std::size_t length);
  EntryResult RemoveListedFolder(FolderSlot& slot, std::size_t index);
  EntryResult RemoveUnknownEntry(const char* line, std::size_t index);
  EntryResult RemoveFileThatStayed(DWORD attributes);
  EntryResult SetAsideFileInUse();
  bool RemoveFolder(FolderSlot* slot);
  bool Defer(FolderSlot& slot, std::size_t index);
  int RetryDeferredFolders();
  void NoteScheduledFile(const char* file);
  bool HoldsOnlyWhatGoes(const char* relative);
  static bool GoesToo(const char* name, bool isFolder, const char* relative);
  void NoteLeftover(const char* file);

  // The entry in path_, through its folder's handle or by its name.
  bool DeleteEntryFile();
  DWORD EntryAttributes();
  void ClearEntryAttributes();
  bool RemoveEntryFolder(bool link);
  bool RemoveFolderThroughChain();
  bool MoveEntry(const char* temporary);
  bool NameLeadsToEntry(const char* file);

  RemovedLines removedLines_;
  FolderTable folders_;
  DeferredFolder deferred_[kFolderSlots];
  std::size_t deferredCount_ = 0;
  FolderSlot* waiting_[kFolderSlots];  // folders above scheduled files
  std::size_t waitingCount_ = 0;
  bool scheduledAny_ = false;
  char path_[kPathSize];  // the program folder with its backslash, then the entry
  std::size_t prefixLength_ = 0;
  const char* programPath_ = "";
  const char* programName_ = "";
  DeletionOutcome* outcome_ = nullptr;
  bool handles_ = false;
  bool topMissing_ = false;  // no real program folder: nothing is touched
  FolderChain chain_;
  EntryName entry_;
};

Removal removal;
BeforeEntryHook beforeEntryHook = nullptr;
void* beforeEntryContext = nullptr;

bool Removal::Start(const char* programFolder, const char* programPath, DeletionOutcome* outcome) {
  removedLines_.Clear();
  folders_.Clear();
  deferredCount_ = 0;
  waitingCount_ = 0;
  scheduledAny_ = false;
  programPath_ = programPath;
  programName_ = FileNamePart(programPath);
  outcome_ = outcome;
  prefixLength_ = std::strlen(programFolder);
  handles_ = FolderHandlesAvailable();
  topMissing_ = handles_ && !chain_.Start(programFolder);
  return CopyText(path_, programFolder);
}

// One pass over the whole list, then the folders it left; the number of
// entries removed.
int Removal::RunPass(ByteStream& list) {
  int removed = 0;
  char line[kListLineSize];
  for (std::size_t index = 0;; ++index) {
    ListLine kind = ReadListLine(list, line, sizeof line);
    if (kind == ListLine::End) break;
    if (kind != ListLine::Entry || removedLines_.Has(index)) continue;
    if (beforeEntryHook != nullptr) beforeEntryHook(index, beforeEntryContext);
    switch (Handle(line, index)) {
      case EntryResult::Removed:
        ++removed;
        removedLines_.Add(index);
        break;
      case EntryResult::Settled:
        removedLines_.Add(index);
        break;
      case EntryResult::MovedAside:
        removedLines_.Clear();
        break;
      case EntryResult::Left:
      case EntryResult::Deferred:
        break;
    }
  }
  return removed + RetryDeferredFolders();
}

EntryResult Removal::Handle(const char* line, std::size_t index) {
  if (!EntryStaysInFolder(line) || NamesDevice(line) || topMissing_) return EntryResult::Left;
  path_[prefixLength_] = '\0';
  if (!AppendText(path_, kPathSize, line)) return EntryResult::Left;  // no cut paths
  if (!Reachable(line) || !SpellAsTheSystemReadsIt(line)) return EntryResult::Left;
  ++outcome_->tried;
  FolderSlot* self = folders_.Find(line, std::strlen(line), false);
  if (self != nullptr && self->state == FolderState::Passable) {
    self->listed = true;
    return RemoveListedFolder(*self, index);
  }
  return RemoveUnknownEntry(line, index);
}

// path_ as the system reads the entry ("x.", "x\." and "x/" are x), so that
// the name compared with the program's and the temporary names built from
// it are those of the file itself.
bool Removal::SpellAsTheSystemReadsIt(const char* line) {
  if (!handles_ && !ReadEntryName(line, entry_)) return false;
  path_[prefixLength_] = '\0';
  return AppendText(path_, kPathSize, entry_.folders) && AppendText(path_, kPathSize, entry_.leaf);
}

// True when every folder between the program folder and the entry is a
// real folder: an entry is never reached through a link.
bool Removal::Reachable(const char* line) {
  if (handles_) return ReachableByHandles(line);
  for (const char* p = line; *p != '\0'; p = NextChar(p)) {
    if (IsSeparator(*p) && !Passable(line, static_cast<std::size_t>(p - line))) return false;
  }
  return true;
}

// Opens the entry's folders one inside the other and keeps them open. A
// folder found closed once stays so for the run.
bool Removal::ReachableByHandles(const char* line) {
  for (const char* p = line; *p != '\0'; p = NextChar(p)) {
    if (!IsSeparator(*p)) continue;
    FolderSlot* slot = folders_.Find(line, static_cast<std::size_t>(p - line), false);
    if (slot != nullptr && slot->state == FolderState::Closed) return false;
  }
  if (!ReadEntryName(line, entry_)) return false;
  std::size_t reached = 0;
  bool open = chain_.Reach(entry_.folders, entry_.foldersLength, &reached);
  for (std::size_t i = 0; i < entry_.count && i <= reached && i < kMaxFolderDepth; ++i) {
    FolderSlot* slot = folders_.Find(line, entry_.lineEnds[i], true);
    if (slot == nullptr) continue;
    slot->state = i < reached ? FolderState::Passable : FolderState::Closed;
  }
  return open;
}

bool Removal::Passable(const char* line, std::size_t length) {
  FolderSlot* slot = folders_.Find(line, length, true);
  if (slot != nullptr && slot->state != FolderState::Unknown) {
    return slot->state == FolderState::Passable;
  }
  // path_ holds the entry: cut it at this folder for a moment.
  char& end = path_[prefixLength_ + length];
  char separator = end;
  end = '\0';
  DWORD attributes = FileAttributes(path_);
  end = separator;
  bool passable = IsFolder(attributes) && !IsLink(attributes);
  if (slot != nullptr) slot->state = passable ? FolderState::Passable : FolderState::Closed;
  return passable;
}

bool Removal::DeleteEntryFile() {
  return handles_ ? DeleteFileIn(chain_.Deepest(), entry_.leaf) : DeleteOneFile(path_);
}

DWORD Removal::EntryAttributes() {
  return handles_ ? AttributesIn(chain_.Deepest(), entry_.leaf, path_) : FileAttributes(path_);
}

void Removal::ClearEntryAttributes() {
  if (handles_) {
    ClearAttributesIn(chain_.Deepest(), entry_.leaf);
  } else {
    ClearFileAttributes(path_);
  }
}

bool Removal::RemoveEntryFolder(bool link) {
  if (!handles_) return link ? RemoveFolderLink(path_) : RemoveEmptyFolder(path_);
  if (link) return RemoveFolderIn(chain_.Deepest(), entry_.leaf, path_, true);
  return RemoveFolderThroughChain();
}

// The folder as one more link of the chain: opened and checked once, and
// removed through that handle.
bool Removal::RemoveFolderThroughChain() {
  char folder[kPathSize];
  std::size_t reached = 0;
  bool removed = false;
  if (CopyText(folder, entry_.folders) && AppendText(folder, entry_.leaf) &&
      AppendText(folder, "\\") && chain_.Reach(folder, std::strlen(folder), &reached)) {
    removed = chain_.RemoveDeepest();
    if (!removed && !LastFailureWasNotEmpty()) {
      chain_.CloseDeepest();  // a handle without the right to delete
      chain_.Reach(entry_.folders, entry_.foldersLength, &reached);
      removed = RemoveFolderIn(chain_.Deepest(), entry_.leaf, path_, false);
    }
  }
  DWORD error = GetLastError();
  chain_.Reach(entry_.folders, entry_.foldersLength, &reached);  // back to the entry's folder
  SetLastError(error);
  return removed;
}

bool Removal::MoveEntry(const char* temporary) {
  if (!handles_) return MoveOneFile(path_, temporary);
  return MoveFileIn(chain_.Deepest(), entry_.leaf, FileNamePart(temporary), path_);
}

// A restart goes by names: only a name that still leads into the entry's
// own folder is handed to it.
bool Removal::NameLeadsToEntry(const char* file) {
  return !handles_ || PathNamesEntryIn(chain_.Deepest(), FileNamePart(file), file);
}

// A folder that still holds something waits for the end of the pass; one
// that did so at the end of the last pass is not tried before that.
EntryResult Removal::RemoveListedFolder(FolderSlot& slot, std::size_t index) {
  if (slot.stubborn && Defer(slot, index)) return EntryResult::Deferred;
  if (RemoveFolder(&slot)) return EntryResult::Removed;
  if (slot.state != FolderState::Passable) return EntryResult::Left;
  return Defer(slot, index) ? EntryResult::Deferred : EntryResult::Left;
}

EntryResult Removal::RemoveUnknownEntry(const char* line, std::size_t index) {
  // Most entries are plain files: one call. A file link goes itself.
  if (DeleteEntryFile()) return EntryResult::Removed;
  DWORD attributes = EntryAttributes();
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (LastFailureFoundNothing()) return EntryResult::Left;
    ClearEntryAttributes();
    return DeleteEntryFile() ? EntryResult::Removed : EntryResult::Left;
  }
  if (IsLink(attributes)) {
    // The link goes, not what it points at, and its attributes stay.
    bool gone = IsFolder(attributes) && RemoveEntryFolder(true);
    return gone ? EntryResult::Removed : EntryResult::Left;
  }
  if (!IsFolder(attributes)) return RemoveFileThatStayed(attributes);
  FolderSlot* slot = folders_.Find(line, std::strlen(line), true);
  if (slot == nullptr) return RemoveFolder(nullptr) ? EntryResult::Removed : EntryResult::Left;
  slot->state = FolderState::Passable;
  slot->listed = true;
  if (Defer(*slot, index)) return EntryResult::Deferred;
  return RemoveFolder(slot) ? EntryResult::Removed : EntryResult::Left;
}

EntryResult Removal::RemoveFileThatStayed(DWORD attributes) {
  if (HasProtectingAttributes(attributes)) {
    ClearEntryAttributes();
    if (DeleteEntryFile()) return EntryResult::Removed;
  }
  // The program file and the list file have removals of their own; the
  // program may be listed by another name of its file (its short name).
  const char* name = FileNamePart(path_);
  if (CompareNames(name, programName_) == 0 || CompareNames(name, kListFileName) == 0 ||
      IsSameFile(path_, programPath_)) {
    return EntryResult::Left;
  }
  return SetAsideFileInUse();
}

// Moves a file that cannot be deleted to a free temporary name and has that
// deleted at the next restart. A file that cannot even be moved is
// scheduled under its own name and needs the restart notice; one that
// cannot be scheduled either is named to the user at the end. A name that
// no longer leads to the file is never scheduled.
EntryResult Removal::SetAsideFileInUse() {
  char temporary[kPathSize];
  bool moved = FindTemporaryName(path_, temporary, kPathSize) && MoveEntry(temporary);
  const char* file = moved ? temporary : path_;
  if (!NameLeadsToEntry(file)) return moved ? EntryResult::MovedAside : EntryResult::Left;
  if (DeleteAtRestart(file)) {
    NoteScheduledFile(file);
    if (!moved) outcome_->restartNeeded = true;
  } else {
    NoteLeftover(file);
  }
  return moved ? EntryResult::MovedAside : EntryResult::Settled;
}

// Removes an empty real folder: path_, or the folder of slot. Read-only,
// hidden and system are cleared only when they stand in the way.
bool Removal::RemoveFolder(FolderSlot* slot) {
  bool removed = RemoveEntryFolder(false);
  if (!removed && !LastFailureWasNotEmpty()) {
    DWORD attributes = EntryAttributes();
    if (!IsFolder(attributes) || IsLink(attributes)) {
      if (slot != nullptr) slot->state = FolderState::Closed;
      return false;
    }
    if (HasProtectingAttributes(attributes)) {
      ClearEntryAttributes();
      removed = RemoveEntryFolder(false);
    }
  }
  if (removed && slot != nullptr) slot->state = FolderState::Closed;
  return removed;
}

bool Removal::Defer(FolderSlot& slot, std::size_t index) {
  if (deferredCount_ == kFolderSlots) return false;
  deferred_[deferredCount_++] = DeferredFolder{index, &slot};
  return true;
}

// The last deferred first: a list naming folders before their contents
// names each folder's subfolders after it.
int Removal::RetryDeferredFolders() {
  int removed = 0;
  while (deferredCount_ > 0) {
    const DeferredFolder& folder = deferred_[--deferredCount_];
    path_[prefixLength_] = '\0';
    const char* name = folders_.Name(*folder.slot);
    if (folder.slot->state != FolderState::Passable || !AppendText(path_, kPathSize, name)) {
      continue;
    }
    ++outcome_->tried;
    if (handles_ && !ReachableByHandles(name)) continue;
    folder.slot->stubborn = !RemoveFolder(folder.slot);
    if (folder.slot->stubborn) continue;
    ++removed;
    removedLines_.Add(folder.line);
  }
  return removed;
}

// Remembers the file and the folders above it, which are decided on at the
// end of the run.
void Removal::NoteScheduledFile(const char* file) {
  scheduledAny_ = true;
  const char* relative = file + prefixLength_;
  std::size_t length = std::strlen(relative);
  FolderSlot* slot = folders_.Find(relative, length, true);
  if (slot != nullptr) slot->atRestart = true;
  for (const char* p = relative; *p != '\0'; p = NextChar(p)) {
    if (!IsSeparator(*p)) continue;
    FolderSlot* folder = folders_.Find(relative, static_cast<std::size_t>(p - relative), true);
    if (folder == nullptr || folder->waiting || waitingCount_ == kFolderSlots) continue;
    folder->waiting = true;
    waiting_[waitingCount_++] = folder;
  }
}

// So that no emptied folder stays after the restart, and no folder that is
// not ours goes: each folder above a scheduled file that the list names, or
// that holds nothing but what goes at the restart, the deepest first and
// after the files. The program folder, which the list never names, goes
// when it holds nothing else but the program file and the list file.
void Removal::RemoveFoldersAtRestart() {
  std::sort(waiting_, waiting_ + waitingCount_,
            [](const FolderSlot* a, const FolderSlot* b) { return a->length > b->length; });
  for (std::size_t i = 0; i < waitingCount_; ++i) {
    FolderSlot& folder = *waiting_[i];
    const char* name = folders_.Name(folder);
    folder.atRestart = folder.listed || HoldsOnlyWhatGoes(name);
    path_[prefixLength_] = '\0';
    if (folder.atRestart && AppendText(path_, kPathSize, name)) RemoveFolderAtRestart(path_);
  }
  if (!scheduledAny_ || !HoldsOnlyWhatGoes("")) return;
  path_[prefixLength_ - 1] = '\0';
  if (!IsDriveColon(*LastChar(path_))) RemoveFolderAtRestart(path_);  // never a drive root
}

bool Removal::HoldsOnlyWhatGoes(const char* relative) {
  path_[prefixLength_] = '\0';
  return AppendText(path_, kPathSize, relative) && EveryNameInFolder(path_, relative, GoesToo);
}

bool Removal::GoesToo(const char* name, bool, const char* relative) {
  char child[kPathSize];
  if (relative[0] == '\0') {
    if (CompareNames(name, removal.programName_) == 0) return true;
    if (CompareNames(name, kListFileName) == 0) return true;
    if (!CopyText(child, name)) return false;
  } else if (!JoinPath(child, kPathSize, relative, name)) {
    return false;
  }
  FolderSlot* slot = removal.folders_.Find(child, std::strlen(child), false);
  return slot != nullptr && slot->atRestart;
}

void Removal::NoteLeftover(const char* file) {
  char* list = outcome_->leftovers;
  std::size_t used = std::strlen(list);
  std::size_t needed = (used == 0 ? 0 : 1) + std::strlen(file) + 1;
  if (needed > kLeftoverListSize - kLeftoverTailSize - used) {
    ++outcome_->leftoversLeftOut;
    return;
  }
  if (used != 0) AppendText(list, kLeftoverListSize, "\n");
  AppendText(list, kLeftoverListSize, file);
}

}  // namespace

bool DeleteFileAsItIs(const char* path) {
  if (DeleteOneFile(path)) return true;
  DWORD attributes = FileAttributes(path);
  bool unreadable = attributes == INVALID_FILE_ATTRIBUTES && !LastFailureFoundNothing();
  if (!unreadable && (IsLink(attributes) || !HasProtectingAttributes(attributes))) return false;
  ClearFileAttributes(path);
  return DeleteOneFile(path);
}

DeletionOutcome RunDeletionPasses(ByteStream& list, const char* programFolder,
                                  const char* programPath) {
  DeletionOutcome outcome;
  if (!removal.Start(programFolder, programPath, &outcome)) {
    removal.Stop();
    return outcome;
  }
  for (;;) {
    ++outcome.passes;
    int removed = removal.RunPass(list);
    outcome.removed += removed;
    if (removed == 0) break;
    list.Rewind();
  }
  removal.RemoveFoldersAtRestart();
  removal.Stop();
  if (outcome.leftoversLeftOut > 0) {
    std::size_t used = std::strlen(outcome.leftovers);
    FormatText(outcome.leftovers + used, kLeftoverListSize - used, "\n(+%ld)",
               outcome.leftoversLeftOut);
  }
  return outcome;
}

void SetBeforeEntryHookForTest(BeforeEntryHook hook, void* context) {
  beforeEntryHook = hook;
  beforeEntryContext = context;
}
