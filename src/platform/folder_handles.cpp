#include "platform/folder_handles.h"

#include <cstddef>

#include "platform/module.h"
#include "platform/os_version.h"
#include "platform/text.h"

namespace {

// The native structures, as ntdll takes them.
struct NativeName {
  USHORT length;  // in bytes, without a terminator
  USHORT capacity;
  WCHAR* text;
};
struct NativeObject {
  ULONG size;
  HANDLE root;
  NativeName* name;
  ULONG flags;
  void* security;
  void* quality;
};
struct NativeIoStatus {
  LONG status;
  ULONG_PTR information;
};
struct BasicInformation {
  LARGE_INTEGER created, accessed, written, changed;  // 0: left as they are
  ULONG attributes;
};
struct AttributeTagInformation {
  ULONG attributes;
  ULONG tag;
};
struct RenameInformation {
  BOOLEAN replace;
  HANDLE root;
  ULONG nameBytes;
  WCHAR name[kPathSize];
};

constexpr ULONG kCaseInsensitive = 0x40;  // OBJ_CASE_INSENSITIVE
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kSynchronousIo = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kDeleteOnClose = 0x1000;
constexpr ULONG kOpenReparsePoint = 0x200000;
constexpr int kBasicInformationClass = 4;
constexpr int kRenameInformationClass = 10;
constexpr int kDispositionInformationClass = 13;
constexpr int kAttributeTagInformationClass = 35;
constexpr LONG kNameInvalid = static_cast<LONG>(0xC0000033);
constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
constexpr ULONG kNameSurrogate = 0x20000000;  // the tag names another file
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

using OpenFunction = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, NativeObject*, NativeIoStatus*, ULONG,
                                   ULONG);
using InformationFunction = LONG(WINAPI*)(HANDLE, NativeIoStatus*, void*, ULONG, int);
using QueryAttributesFunction = LONG(WINAPI*)(NativeObject*, BasicInformation*);
using ToErrorFunction = ULONG(WINAPI*)(LONG);

struct Native {
  bool looked = false;
  bool found = false;
  OpenFunction open = nullptr;
  InformationFunction query = nullptr;
  InformationFunction set = nullptr;
  QueryAttributesFunction queryAttributes = nullptr;
  ToErrorFunction toError = nullptr;
};
Native native;

const Native& Functions() {
  if (native.looked) return native;
  native.looked = true;
  if (NtMajorVersion() == 0) return native;
  native.open = FindSystemFunction<OpenFunction>("ntdll.dll", "NtOpenFile");
  native.query = FindSystemFunction<InformationFunction>("ntdll.dll", "NtQueryInformationFile");
  native.set = FindSystemFunction<InformationFunction>("ntdll.dll", "NtSetInformationFile");
  native.queryAttributes =
      FindSystemFunction<QueryAttributesFunction>("ntdll.dll", "NtQueryAttributesFile");
  native.toError = FindSystemFunction<ToErrorFunction>("ntdll.dll", "RtlNtStatusToDosError");
  native.found =
      native.open && native.query && native.set && native.queryAttributes && native.toError;
  return native;
}

bool Fail(LONG status) {
  SetLastError(Functions().toError(status));
  return false;
}

// One name component in UTF-16, from the ANSI code page.
class WideName {
 public:
  bool Set(const char* name) {
    int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, text_, kPathSize);
    if (count <= 1) return false;
    native_ = NativeName{static_cast<USHORT>((count - 1) * sizeof(WCHAR)),
                         static_cast<USHORT>(count * sizeof(WCHAR)), text_};
    return true;
  }
  NativeName* Get() { return &native_; }
  const WCHAR* Text() const { return text_; }

 private:
  WCHAR text_[kPathSize];
  NativeName native_{};
};

// name inside root; the entry itself, never what a link points at.
LONG OpenIn(HANDLE root, const char* name, ACCESS_MASK access, ULONG options, HANDLE* handle) {
  WideName wide;
  if (!wide.Set(name)) return kNameInvalid;
  NativeObject object{sizeof object, root, wide.Get(), kCaseInsensitive, nullptr, nullptr};
  NativeIoStatus io{};
  return Functions().open(handle, access | SYNCHRONIZE, &object, &io, kShareAll,
                          options | kSynchronousIo | kOpenReparsePoint);
}

bool ShowsReparsePoint(HANDLE handle) {
  AttributeTagInformation tag{};
  NativeIoStatus io{};
  if (Functions().query(handle, &io, &tag, sizeof tag, kAttributeTagInformationClass) >= 0) {
    return (tag.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(handle, &information) != FALSE &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A link by the handle when it shows the reparse point. Wine's handle to a
// link is one to what it points at, and only the path shows the link: one
// that shows it, or cannot be read, counts as a link.
bool IsLinkEntry(HANDLE handle, const char* path) {
  if (ShowsReparsePoint(handle)) return ReparsePointIsLink(handle);
  DWORD byName = GetFileAttributesA(path);
  return byName == INVALID_FILE_ATTRIBUTES || (byName & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

DWORD HandleAttributes(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return INVALID_FILE_ATTRIBUTES;
  return information.dwFileAttributes;
}

bool SameFile(HANDLE handle, const char* path) {
  HANDLE byName = CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (byName == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  bool same = GetFileInformationByHandle(handle, &a) && GetFileInformationByHandle(byName, &b) &&
              a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
              a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(byName);
  return same;
}

}  // namespace

bool FolderHandlesAvailable() { return Functions().found; }

bool ReparsePointIsLink(HANDLE handle) {
  if (!Functions().found) return true;
  AttributeTagInformation tag{};
  NativeIoStatus io{};
  LONG status = Functions().query(handle, &io, &tag, sizeof tag, kAttributeTagInformationClass);
  if (status < 0 || (tag.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  return ReparseTagIsLink(tag.tag);
}

bool ReparseTagIsLink(unsigned long tag) { return tag == 0 || (tag & kNameSurrogate) != 0; }

bool FolderHandle::OpenPath(const char* path) {
  Close();
  HANDLE folder = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                              kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  DWORD attributes = HandleAttributes(folder);
  bool real = attributes != INVALID_FILE_ATTRIBUTES &&
              (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLinkEntry(folder, path);
  if (!real) {
    CloseHandle(folder);
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  handle_ = folder;
  return true;
}

bool FolderHandle::OpenChild(const FolderHandle& parent, const char* name, const char* path) {
  Close();
  // With the right to delete, so that the folder can go through this very
  // handle; without it where that right is refused.
  constexpr ACCESS_MASK kAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
  HANDLE folder;
  LONG status = OpenIn(parent.Get(), name, kAccess | DELETE, kDirectoryFile, &folder);
  if (status == kAccessDenied)
    status = OpenIn(parent.Get(), name, kAccess, kDirectoryFile, &folder);
  if (status < 0) return Fail(status);
  if (IsLinkEntry(folder, path)) {
    CloseHandle(folder);
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  handle_ = folder;
  return true;
}

void FolderHandle::Close() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

DWORD AttributesIn(const FolderHandle& parent, const char* name, const char* path) {
  HANDLE entry;
  LONG status = OpenIn(parent.Get(), name, FILE_READ_ATTRIBUTES, 0, &entry);
  if (status < 0) {
    Fail(status);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = HandleAttributes(entry);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    attributes &= ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT};
    if (IsLinkEntry(entry, path)) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  CloseHandle(entry);
  SetLastError(ERROR_ACCESS_DENIED);
  return attributes;
}

bool DeleteFileIn(const FolderHandle& parent, const char* name) {
  // As DeleteFileA does: one open that deletes when closed.
  HANDLE file;
  LONG status = OpenIn(parent.Get(), name, DELETE, kNonDirectoryFile | kDeleteOnClose, &file);
  if (status < 0) return Fail(status);
  CloseHandle(file);
  return true;
}

bool RemoveFolderIn(const FolderHandle& parent, const char* name, const char* path,
                    bool linkExpected) {
  HANDLE folder;
  LONG status = OpenIn(parent.Get(), name, DELETE | FILE_READ_ATTRIBUTES, kDirectoryFile, &folder);
  if (status < 0) return Fail(status);
  bool link = IsLinkEntry(folder, path);
  // A link goes only through a handle to the link itself: Wine's handle is
  // one to the folder it points at.
  if (link != linkExpected || (link && !ShowsReparsePoint(folder))) {
    CloseHandle(folder);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  BOOLEAN remove = TRUE;
  NativeIoStatus io{};
  status = Functions().set(folder, &io, &remove, sizeof remove, kDispositionInformationClass);
  CloseHandle(folder);
  return status >= 0 || Fail(status);
}

bool RemoveOpenFolder(FolderHandle& folder) {
  BOOLEAN remove = TRUE;
  NativeIoStatus io{};
  LONG status =
      Functions().set(folder.Get(), &io, &remove, sizeof remove, kDispositionInformationClass);
  if (status < 0) return Fail(status);
  folder.Close();
  return true;
}

void ClearAttributesIn(const FolderHandle& parent, const char* name) {
  HANDLE entry;
  if (OpenIn(parent.Get(), name, FILE_WRITE_ATTRIBUTES, 0, &entry) < 0) return;
  BasicInformation basic{};
  basic.attributes = FILE_ATTRIBUTE_NORMAL;  // 0 would leave them as they are
  NativeIoStatus io{};
  Functions().set(entry, &io, &basic, sizeof basic, kBasicInformationClass);
  CloseHandle(entry);
}

bool PathNamesEntryIn(const FolderHandle& parent, const char* name, const char* path) {
  HANDLE entry;
  if (OpenIn(parent.Get(), name, FILE_READ_ATTRIBUTES, 0, &entry) < 0) return false;
  bool same = SameFile(entry, path);
  CloseHandle(entry);
  return same;
}

bool MoveFileIn(const FolderHandle& parent, const char* name, const char* newName,
                const char* path) {
  static RenameInformation rename;
  WideName wide;
  if (!wide.Set(newName)) return Fail(kNameInvalid);
  HANDLE file;
  LONG status = OpenIn(parent.Get(), name, DELETE | FILE_READ_ATTRIBUTES, kNonDirectoryFile, &file);
  if (status < 0) return Fail(status);
  // Wine renames by the names the handles were opened with: the path must
  // still lead to this very file.
  if (!SameFile(file, path)) {
    CloseHandle(file);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  rename.replace = FALSE;
  rename.root = parent.Get();
  rename.nameBytes = wide.Get()->length;
  CopyMemory(rename.name, wide.Text(), rename.nameBytes);
  NativeIoStatus io{};
  ULONG size = static_cast<ULONG>(offsetof(RenameInformation, name) + rename.nameBytes);
  status = Functions().set(file, &io, &rename, size, kRenameInformationClass);
  CloseHandle(file);
  return status >= 0 || Fail(status);
}
