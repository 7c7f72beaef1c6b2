#include "platform/registry.h"

#include <cstring>

#include "platform/module.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr char kProductKey[] = "Software\\Korvik";
// Subkey names of 200 characters or more end the enumeration of their parent.
constexpr DWORD kEnumNameSize = 200;
constexpr std::size_t kPredefinedRootCount = 4;  // HKEY_CLASSES_ROOT .. HKEY_USERS
// The view flags an access mask may carry into every key of a walk.
constexpr REGSAM kRegViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
// A default value read to tell whose a key is: a library's path fits.
constexpr std::size_t kRegOwnerTextSize = kPathSize + 1;
// The registry's own limit of nested keys: DelRegTree goes no deeper.
constexpr int kRegTreeDepthLimit = 512;
constexpr DWORD kNarrowBytesPerUnit = 3;

// 0 or KEY_WOW64_64KEY, OR-ed into the access of keys opened for writing.
REGSAM view64Flag = 0;
// Keys deleted by the current pass of DelRegTree.
int treeDeletions = 0;
LONG writeFaults[kPredefinedRootCount] = {};
bool wideCallsFailForTest = false;
void (*treeStepHook)(void*) = nullptr;
void* treeStepContext = nullptr;

// Owns one open key and closes it when it goes.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  HKEY Get() const { return key_; }
  HKEY* Out() { return &key_; }
  bool Close() {
    if (key_ == nullptr) return false;
    RegCloseKey(key_);
    key_ = nullptr;
    return true;
  }
  // Closes this key and takes over other's, leaving other empty.
  void Take(RegKey& other) {
    Close();
    key_ = other.key_;
    other.key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// A key opened by a walk from a root: the key, the one above it (empty when
// that is the root) and its own name there.
struct OpenedKey {
  RegKey parent;
  RegKey key;
  bool link = false;
  char name[kRegPathSize] = "";
};

// Owns a block of the process heap, for data whose size only the registry
// knows; Get() is null when the block could not be had.
class HeapBlock {
 public:
  explicit HeapBlock(std::size_t size) : data_(HeapAlloc(GetProcessHeap(), 0, size + 1)) {}
  ~HeapBlock() {
    if (data_ != nullptr) HeapFree(GetProcessHeap(), 0, data_);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;

  template <typename T>
  T* Get() const {
    return static_cast<T*>(data_);
  }

 private:
  void* data_;
};

LONG* WriteFaultOf(HKEY root) {
  ULONG_PTR index =
      reinterpret_cast<ULONG_PTR>(root) - reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
  return index < kPredefinedRootCount ? &writeFaults[index] : nullptr;
}

using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);

NtDeleteKeyFunction FindNtDeleteKey() {
  return FindSystemFunction<NtDeleteKeyFunction>("ntdll.dll", "NtDeleteKey");
}

// Registry links exist on the NT family only; the 9x family knows no such
// option.
DWORD OpenLinkOption() { return NtMajorVersion() != 0 ? REG_OPTION_OPEN_LINK : 0; }

// A key that is a registry link (REG_OPTION_CREATE_LINK) points elsewhere,
// at keys that are not ours. Opened with REG_OPTION_OPEN_LINK it is the link
// itself, which holds its target in "SymbolicLinkValue" (REG_LINK); every
// other open, RegDeleteKeyA's and RegCreateKeyExA's included, goes through
// to the target. The handle must allow KEY_QUERY_VALUE.
bool IsLinkHandle(HKEY key) {
  DWORD type = REG_NONE;
  return OpenLinkOption() != 0 &&
         RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         type == REG_LINK;
}

// Opens name below parent without following a link, creating it when create
// is set and it is missing; link tells whether it is a link.
LONG OpenChild(HKEY parent, const char* name, REGSAM access, bool create, RegKey& key, bool& link) {
  access |= KEY_QUERY_VALUE;
  for (int attempt = 0; attempt < 2; ++attempt) {
    LONG status = RegOpenKeyExA(parent, name, OpenLinkOption(), access, key.Out());
    if (status == ERROR_SUCCESS) {
      link = IsLinkHandle(key.Get());
      return status;
    }
    if (status != ERROR_FILE_NOT_FOUND || !create) return status;
    // RegCreateKeyExA follows a link; a key it has just made is none. One
    // that appeared since the open is opened again, as a link if it is one.
    DWORD disposition = 0;
    status = RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                             key.Out(), &disposition);
    if (status != ERROR_SUCCESS) return status;
    if (disposition == REG_CREATED_NEW_KEY) {
      link = false;
      return status;
    }
    key.Close();
  }
  return kRegLinkStatus;
}

// Copies the name that starts at text, up to the next backslash, into name
// (kRegPathSize bytes); the position after it and the backslashes that
// follow.
const char* TakeName(const char* text, char* name) {
  std::size_t length = 0;
  while (*text != '\0' && *text != '\\') {
    const char* next = NextChar(text);
    while (text < next && length + 1 < kRegPathSize) name[length++] = *text++;
    text = next;
  }
  name[length] = '\0';
  while (*text == '\\') ++text;
  return text;
}

// Opens the key on the way to another, relative to parent. A link there is
// followed only below HKEY_LOCAL_MACHINE, where only the system and
// administrators make keys (Wine's keys shared between the two views are
// links); elsewhere a user may have made it, and the walk ends.
LONG OpenOnTheWay(HKEY root, HKEY parent, const char* name, REGSAM access, bool create,
                  RegKey& key) {
  bool link = false;
  LONG status = OpenChild(parent, name, access, create, key, link);
  if (status != ERROR_SUCCESS || !link) return status;
  key.Close();
  if (root != HKEY_LOCAL_MACHINE) return kRegLinkStatus;
  return RegOpenKeyExA(parent, name, 0, access, key.Out());
}

// The key of path below root, opened one name at a time, each relative to
// the key above it: a link on the way ends the walk (see OpenOnTheWay), a
// link at the end is opened itself and reported. parent is the key above
// it (empty right below the root) and name its own name. The empty path
// opens the root itself.
LONG OpenPath(HKEY root, const char* path, REGSAM access, bool create, OpenedKey& opened) {
  while (*path == '\\') ++path;
  if (*path == '\0') return RegOpenKeyExA(root, nullptr, 0, access, opened.key.Out());
  const REGSAM through =
      (access & kRegViewFlags) | KEY_QUERY_VALUE | (create ? KEY_CREATE_SUB_KEY : 0);
  HKEY parent = root;
  for (;;) {
    path = TakeName(path, opened.name);
    if (*path == '\0') {
      return OpenChild(parent, opened.name, access, create, opened.key, opened.link);
    }
    RegKey next;
    LONG status = OpenOnTheWay(root, parent, opened.name, through, create, next);
    if (status != ERROR_SUCCESS) return status;
    opened.parent.Take(next);
    parent = opened.parent.Get();
  }
}

// Deletes the opened key itself, a link as a link. On the NT family through
// its own handle, which fails while it has subkeys; the 9x family deletes by
// name below its parent, where it would take a whole subtree, so a key with
// subkeys is left there too.
bool DeleteOpenedKey(HKEY parent, const char* name, HKEY key) {
  if (NtMajorVersion() == 0) {
    DWORD subKeys = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
  }
  NtDeleteKeyFunction deleteKey = FindNtDeleteKey();
  return deleteKey != nullptr && deleteKey(key) == 0;
}

bool DeleteOpenedKey(HKEY root, OpenedKey& opened) {
  HKEY parent = opened.parent.Get() != nullptr ? opened.parent.Get() : root;
  return DeleteOpenedKey(parent, opened.name, opened.key.Get());
}

// Opens (creating where missing) the key of spec for writing, in the view the
// 64-bit flag selects. A registry link is not written through.
LONG OpenForWriting(HKEY root, const char* spec, OpenedKey& opened) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return ERROR_INVALID_NAME;
  const LONG* fault = WriteFaultOf(root);
  if (fault != nullptr && *fault != ERROR_SUCCESS) return *fault;
  LONG status = OpenPath(root, path, KEY_WRITE | view64Flag, true, opened);
  return status == ERROR_SUCCESS && opened.link ? kRegLinkStatus : status;
}

bool OpenForReading(HKEY root, const char* spec, RegKey& key) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return false;
  return RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, key.Out()) ==
         ERROR_SUCCESS;
}

// Opens an existing key of spec for a deletion: false for a root, a refused
// specification, a missing key or a link on the way. A link at the end is
// opened itself.
bool OpenForDeleting(HKEY root, const char* spec, REGSAM access, OpenedKey& opened) {
  char path[kRegPathSize];
  return MakeRegPath(root, spec, path, sizeof path) && path[0] != '\0' &&
         OpenPath(root, path, access, false, opened) == ERROR_SUCCESS;
}

LONG SetValue(HKEY root, const char* spec, const char* name, DWORD type, const void* data,
              std::size_t size) {
  OpenedKey opened;
  LONG status = OpenForWriting(root, spec, opened);
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExA(opened.key.Get(), name, 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size));
}

// Whether owner accepts the opened key by its default value. The key itself
// is read, never a link's target: a link has no default value of its own.
bool OwnedBy(HKEY key, const RegOwner& owner) {
  if (owner.test == nullptr) return true;
  char text[kRegOwnerTextSize];
  DWORD type = REG_NONE;
  DWORD length = sizeof text - 1;
  if (RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(text), &length) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return owner.test(nullptr, owner.context);
  }
  text[length] = '\0';
  return owner.test(text, owner.context);
}

void TreeStep() {
  if (treeStepHook != nullptr) treeStepHook(treeStepContext);
}

// One pass over the tree below the open key: children first, each opened
// relative to its parent's handle and deleted through its own, a link as a
// link. Each child's index is taken once, so siblings that move down into a
// freed index wait for the next pass.
void DeleteTreePass(HKEY key, int depth) {
  char name[kEnumNameSize];
  for (DWORD index = 0;; ++index) {
    DWORD length = kEnumNameSize;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    TreeStep();
    RegKey child;
    bool link = false;
    if (OpenChild(key, name, KEY_READ | DELETE, false, child, link) != ERROR_SUCCESS) continue;
    if (!link && depth + 1 < kRegTreeDepthLimit) DeleteTreePass(child.Get(), depth + 1);
    TreeStep();
    if ((link || depth + 1 < kRegTreeDepthLimit) && DeleteOpenedKey(key, name, child.Get())) {
      ++treeDeletions;
    }
  }
}

// The tree's own key, opened once: every pass goes through its handle, so
// that a key above it swapped for a link meanwhile is never resolved again.
void DeleteTree(HKEY root, const char* path) {
  OpenedKey top;
  if (OpenPath(root, path, KEY_READ | DELETE, false, top) != ERROR_SUCCESS) return;
  bool gone = false;
  do {
    treeDeletions = 0;
    if (!top.link) DeleteTreePass(top.key.Get(), 0);
    TreeStep();
    gone = DeleteOpenedKey(root, top);
  } while (!gone && treeDeletions > 0);
}

// The value calls in both forms, chosen by the character type of the name.
// The 9x family has the "W" forms as stubs that fail with
// ERROR_CALL_NOT_IMPLEMENTED; so do they while the test switch is on.
LONG QueryValueCounts(HKEY key, DWORD* count, DWORD* longestName, DWORD* largestData,
                      const wchar_t*) {
  if (wideCallsFailForTest) return ERROR_CALL_NOT_IMPLEMENTED;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count,
                          longestName, largestData, nullptr, nullptr);
}

LONG QueryValueCounts(HKEY key, DWORD* count, DWORD* longestName, DWORD* largestData, const char*) {
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count,
                          longestName, largestData, nullptr, nullptr);
}

LONG EnumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
               DWORD* size) {
  if (wideCallsFailForTest) return ERROR_CALL_NOT_IMPLEMENTED;
  return RegEnumValueW(key, index, name, nameLength, nullptr, type, data, size);
}

LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type, BYTE* data,
               DWORD* size) {
  return RegEnumValueA(key, index, name, nameLength, nullptr, type, data, size);
}

LONG SetValueBytes(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size) {
  if (wideCallsFailForTest) return ERROR_CALL_NOT_IMPLEMENTED;
  return RegSetValueExW(key, name, 0, type, data, size);
}

LONG SetValueBytes(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  return RegSetValueExA(key, name, 0, type, data, size);
}

LONG DeleteValueNamed(HKEY key, const wchar_t* name) {
  if (wideCallsFailForTest) return ERROR_CALL_NOT_IMPLEMENTED;
  return RegDeleteValueW(key, name);
}

LONG DeleteValueNamed(HKEY key, const char* name) { return RegDeleteValueA(key, name); }

// The room an "A" call needs for what the NT family counts in UTF-16 units
// (RegQueryInfoKeyA included): up to three bytes each, in a UTF-8 code page.
template <typename Char>
DWORD NarrowRoom(DWORD units) {
  return sizeof(Char) == 1 ? units * kNarrowBytesPerUnit : units;
}

// Copies every value of from into to, names, types and data as stored.
template <typename Char>
LONG CopyValues(HKEY from, HKEY to) {
  DWORD count = 0;
  DWORD longestName = 0;
  DWORD largestData = 0;
  LONG status =
      QueryValueCounts(from, &count, &longestName, &largestData, static_cast<const Char*>(nullptr));
  if (status != ERROR_SUCCESS) return status;
  // Sized by the key itself: a value cut to a fixed buffer would be another value.
  const DWORD nameSize = NarrowRoom<Char>(longestName) + 1;
  const DWORD dataSize = NarrowRoom<Char>(largestData);
  HeapBlock name(nameSize * sizeof(Char));
  HeapBlock data(dataSize);
  if (name.Get<Char>() == nullptr || data.Get<BYTE>() == nullptr) return ERROR_OUTOFMEMORY;
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength = nameSize;
    DWORD size = dataSize + 1;
    DWORD type = REG_NONE;
    status = EnumValue(from, index, name.Get<Char>(), &nameLength, &type, data.Get<BYTE>(), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) {
      status = SetValueBytes(to, name.Get<Char>(), type, data.Get<BYTE>(), size);
    }
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// Deletes every value of the key; false when a call is missing.
template <typename Char>
bool DeleteValues(HKEY key) {
  DWORD longestName = 0;
  LONG status =
      QueryValueCounts(key, nullptr, &longestName, nullptr, static_cast<const Char*>(nullptr));
  if (status != ERROR_SUCCESS) return status != ERROR_CALL_NOT_IMPLEMENTED;
  const DWORD nameSize = NarrowRoom<Char>(longestName) + 1;
  HeapBlock name(nameSize * sizeof(Char));
  if (name.Get<Char>() == nullptr) return true;
  for (DWORD index = 0;;) {
    DWORD length = nameSize;
    status = EnumValue(key, index, name.Get<Char>(), &length, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status != ERROR_CALL_NOT_IMPLEMENTED;
    // A value that stays keeps its index: the next one is looked at instead.
    status = DeleteValueNamed(key, name.Get<Char>());
    if (status == ERROR_CALL_NOT_IMPLEMENTED) return false;
    if (status != ERROR_SUCCESS) ++index;
  }
}

}  // namespace

bool MakeRegPath(HKEY root, const char* spec, char* path, std::size_t size) {
  if (size == 0) return false;
  path[0] = '\0';
  if (size < kRegPathReserve || std::strlen(spec) > size - kRegPathReserve) return false;
  if (root != HKEY_CURRENT_USER) return CopyText(path, size, spec);
  if (spec[0] == '\\') return CopyText(path, size, spec + 1);
  if (!FormatText(path, size, "%s%s%s", kProductKey, spec[0] != '\0' ? "\\" : "", spec)) {
    path[0] = '\0';
    return false;
  }
  return true;
}

LONG SetRegString(HKEY root, const char* spec, const char* name, const char* text) {
  return SetValue(root, spec, name, REG_SZ, text, std::strlen(text) + 1);
}

LONG SetRegNumber(HKEY root, const char* spec, const char* name, DWORD number) {
  return SetValue(root, spec, name, REG_DWORD, &number, sizeof number);
}

LONG SetRegBytes(HKEY root, const char* spec, const char* name, std::size_t count,
                 const void* bytes) {
  return SetValue(root, spec, name, REG_BINARY, bytes, count);
}

bool GetRegString(HKEY root, const char* spec, const char* name, std::size_t size,
                  const char* defaultText, char* dest) {
  if (size == 0) return false;
  {
    RegKey key;
    if (OpenForReading(root, spec, key)) {
      DWORD type = REG_NONE;
      DWORD length = static_cast<DWORD>(size);
      LONG status =
          RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(dest), &length);
      // The data need not be a terminated text: it is one when it has a zero
      // byte, or room for one after it. Data that fills dest without a zero
      // was a text of size characters or more, too long like any other.
      if (status == ERROR_SUCCESS && length > 0 && length <= size &&
          (std::memchr(dest, '\0', length) != nullptr || length < size)) {
        if (length < size) dest[length] = '\0';
        return true;
      }
    }
  }
  CopyText(dest, size, defaultText);
  return false;
}

DWORD GetRegNumber(HKEY root, const char* spec, const char* name, DWORD defaultNumber) {
  RegKey key;
  if (!OpenForReading(root, spec, key)) return defaultNumber;
  DWORD number = 0;
  DWORD type = REG_NONE;
  DWORD length = sizeof number;
  // Text or bytes of another program read as a number would be a made-up
  // choice ("Exist" stored as "" would read 0).
  if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&number),
                       &length) != ERROR_SUCCESS ||
      type != REG_DWORD || length != sizeof number) {
    return defaultNumber;
  }
  return number;
}

bool RegKeyPresent(HKEY root, const char* spec) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return false;
  RegKey key;
  return RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key.Out()) == ERROR_SUCCESS;
}

void DelRegKey(HKEY root, const char* spec, RegOwner owner) {
  OpenedKey opened;
  if (!OpenForDeleting(root, spec, DELETE, opened)) return;
  if (OwnedBy(opened.key.Get(), owner)) DeleteOpenedKey(root, opened);
}

void DelRegValue(HKEY root, const char* spec, const char* name, RegOwner owner) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return;
  OpenedKey opened;
  // The values a link shows are those of the key it points at.
  if (OpenPath(root, path, KEY_SET_VALUE, false, opened) != ERROR_SUCCESS || opened.link ||
      !OwnedBy(opened.key.Get(), owner)) {
    return;
  }
  RegDeleteValueA(opened.key.Get(), name);
}

void DelRegTree(HKEY root, const char* spec) {
  char path[kRegPathSize];
  // A root key is never deleted; the 9x family's single call would take
  // everything below it.
  if (!MakeRegPath(root, spec, path, sizeof path) || path[0] == '\0') return;
  // On the 9x family, which has no links, one call removes a whole subtree;
  // on the NT family a key with subkeys cannot be deleted.
  if (NtMajorVersion() == 0 && RegDeleteKeyA(root, path) == ERROR_SUCCESS) return;
  DeleteTree(root, path);
}

void SetRegView64(bool on) { view64Flag = on ? KEY_WOW64_64KEY : 0; }

void DelRegKey64(HKEY root, const char* spec, RegOwner owner) {
  // The 9x family, and NT systems without WOW64, have one view only.
  const REGSAM view = NtMajorVersion() != 0 ? KEY_WOW64_64KEY : 0;
  OpenedKey opened;
  if (!OpenForDeleting(root, spec, DELETE | view, opened)) return;
  if (OwnedBy(opened.key.Get(), owner)) DeleteOpenedKey(root, opened);
}

bool GetRegSubKeyName(HKEY root, const char* spec, DWORD index, char* name, std::size_t size) {
  if (size == 0) return false;
  name[0] = '\0';
  RegKey key;
  if (!OpenForReading(root, spec, key)) return false;
  DWORD length = static_cast<DWORD>(size);
  if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
      ERROR_SUCCESS) {
    return true;
  }
  name[0] = '\0';
  return false;
}

LONG CopyRegValues(HKEY fromRoot, const char* fromSpec, HKEY toRoot, const char* toSpec) {
  RegKey from;
  if (!OpenForReading(fromRoot, fromSpec, from)) return ERROR_FILE_NOT_FOUND;
  OpenedKey to;
  LONG status = OpenForWriting(toRoot, toSpec, to);
  if (status != ERROR_SUCCESS) return status;
  // By "W" names and data, so that no code page conversion alters them;
  // the 9x family has the "A" forms only.
  status = CopyValues<wchar_t>(from.Get(), to.key.Get());
  if (status == ERROR_CALL_NOT_IMPLEMENTED) status = CopyValues<char>(from.Get(), to.key.Get());
  return status;
}

void DelRegValues(HKEY root, const char* spec) {
  OpenedKey opened;
  // The values a link shows are those of the key it points at.
  if (!OpenForDeleting(root, spec, KEY_QUERY_VALUE | KEY_SET_VALUE, opened) || opened.link) {
    return;
  }
  // By "W" name: a name outside the code page could not be deleted by its
  // "A" form. The 9x family has the "A" forms only.
  if (!DeleteValues<wchar_t>(opened.key.Get())) DeleteValues<char>(opened.key.Get());
}

bool DelRegKeyIfEmpty(HKEY root, const char* spec) {
  OpenedKey opened;
  if (!OpenForDeleting(root, spec, KEY_QUERY_VALUE | DELETE, opened) || opened.link) return false;
  DWORD subKeys = 0;
  DWORD values = 0;
  if (RegQueryInfoKeyA(opened.key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                       &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subKeys != 0 || values != 0) {
    return false;
  }
  return DeleteOpenedKey(root, opened);
}

bool RegValuePresent(HKEY root, const char* spec, const char* name) {
  RegKey key;
  return OpenForReading(root, spec, key) &&
         RegQueryValueExA(key.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegValueEquals(HKEY root, const char* spec, const char* name, DWORD type, const void* bytes,
                    std::size_t count) {
  RegKey key;
  if (!OpenForReading(root, spec, key)) return false;
  // One byte more than expected, so that longer data does not fit as equal.
  HeapBlock data(count);
  if (data.Get<BYTE>() == nullptr) return false;
  DWORD size = static_cast<DWORD>(count + 1);
  DWORD stored = REG_NONE;
  return RegQueryValueExA(key.Get(), name, nullptr, &stored, data.Get<BYTE>(), &size) ==
             ERROR_SUCCESS &&
         stored == type && size == count && std::memcmp(data.Get<BYTE>(), bytes, count) == 0;
}

LONG SetRegString(const char* spec, const char* name, const char* text) {
  return SetRegString(HKEY_CURRENT_USER, spec, name, text);
}

LONG SetRegNumber(const char* spec, const char* name, DWORD number) {
  return SetRegNumber(HKEY_CURRENT_USER, spec, name, number);
}

bool GetRegString(const char* spec, const char* name, std::size_t size, const char* defaultText,
                  char* dest) {
  return GetRegString(HKEY_CURRENT_USER, spec, name, size, defaultText, dest);
}

DWORD GetRegNumber(const char* spec, const char* name, DWORD defaultNumber) {
  return GetRegNumber(HKEY_CURRENT_USER, spec, name, defaultNumber);
}

void DelRegKey(const char* spec) { DelRegKey(HKEY_CURRENT_USER, spec, RegOwner{}); }

void SetRegWriteFaultForTest(HKEY root, LONG status) {
  if (LONG* fault = WriteFaultOf(root)) *fault = status;
}

void ClearRegWriteFaultsForTest() {
  for (LONG& fault : writeFaults) fault = ERROR_SUCCESS;
}

void SetRegWideCallsFailForTest(bool fail) { wideCallsFailForTest = fail; }

void SetDelRegTreeStepHookForTest(void (*hook)(void* context), void* context) {
  treeStepHook = hook;
  treeStepContext = context;
}
