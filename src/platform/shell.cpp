#include "platform/shell.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/shell_link.h"
#include "platform/text.h"

namespace {

// Owns an item-id list that the shell handed out and frees it with the
// shell's allocator, as the shell requires.
class ItemIdList {
 public:
  ItemIdList() = default;
  ~ItemIdList() {
    if (list_ == nullptr) return;
    ComInterface<IMalloc> allocator;
    if (SUCCEEDED(SHGetMalloc(allocator.Out()))) allocator->Free(list_);
  }
  ItemIdList(const ItemIdList&) = delete;
  ItemIdList& operator=(const ItemIdList&) = delete;

  LPITEMIDLIST* Out() { return &list_; }
  LPCITEMIDLIST Get() const { return list_; }

 private:
  LPITEMIDLIST list_ = nullptr;
};

// The position after the next separator at or after text, or null.
const char* AfterSeparator(const char* text) {
  for (const char* p = text; *p != '\0'; p = NextChar(p)) {
    if (IsSeparator(*p)) return p + 1;
  }
  return nullptr;
}

}  // namespace

void NotifyAssociationsChanged(bool flush) {
  SHChangeNotify(SHCNE_ASSOCCHANGED, flush ? SHCNF_FLUSH : 0, nullptr, nullptr);
}

bool GetSpecialFolderPath(int csidl, char* path, std::size_t capacity) {
  if (capacity == 0) return false;
  path[0] = '\0';
  ItemIdList list;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.Out())) || list.Get() == nullptr) {
    return false;
  }
  // SHGetPathFromIDListA writes up to MAX_PATH bytes, whatever the caller has.
  char found[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(list.Get(), found)) return false;
  found[MAX_PATH - 1] = '\0';
  if (found[0] == '\0' || !CopyText(path, capacity, found)) {
    path[0] = '\0';
    return false;
  }
  return true;
}

bool CreateFolder(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool IsBelowRoot(const char* path) {
  const char* below = nullptr;
  if (path[0] != '\0' && NextChar(path) == path + 1 && IsDriveColon(path[1]) &&
      IsSeparator(path[2])) {
    below = path + 3;
  } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    const char* share = AfterSeparator(path + 2);
    below = share != nullptr ? AfterSeparator(share) : nullptr;
  }
  if (below == nullptr) return false;
  for (const char* p = below; *p != '\0'; p = NextChar(p)) {
    if (!IsSeparator(*p)) return true;
  }
  return false;
}

bool RemoveFolderTree(const char* path) {
  if (!IsBelowRoot(path) || !PathExists(path)) return false;
  // The shell takes a list of names, each ending in a zero, the list ended
  // by a second zero: room for one byte more than a path.
  char list[kPathSize + 1];
  if (!CopyText(list, kPathSize, path)) return false;
  // The shell would enter a folder link and delete what it points at,
  // which is not the group's: links go themselves first.
  const DWORD attributes = FileAttributes(list);
  if (IsLink(attributes) && IsFolder(attributes)) return RemoveFolderLink(list);
  if (!RemoveFolderLinksInTree(list)) return false;
  list[BoundedLength(list, kPathSize) + 1] = '\0';

  SHFILEOPSTRUCTA operation{};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = list;
  operation.pTo = nullptr;
  // No FOF_ALLOWUNDO: the folder goes for good, not to the recycle bin.
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return SHFileOperationA(&operation) == 0;
}

void OpenWithShell(const char* target) { OpenWithShell(target, ""); }

void OpenWithShell(const char* target, const char* folder) {
  ShellExecuteA(nullptr, "open", target, nullptr, folder, SW_SHOWNORMAL);
}
