#include "platform/registry.h"

#include <cstring>

#include "platform/module.h"
#include "platform/os_version.h"
#include "platform/text.h"

namespace {

constexpr char kProductKey[] = "Software\\Korvik";
// Subkey names of 200 characters or more end the enumeration of their parent.
constexpr DWORD kEnumNameSize = 200;
constexpr std::size_t kPredefinedRootCount = 4;  // HKEY_CLASSES_ROOT .. HKEY_USERS

// 0 or KEY_WOW64_64KEY, OR-ed into the access of keys opened for writing.
REGSAM view64Flag = 0;
// Keys deleted by the current pass of DelRegTree.
int treeDeletions = 0;
int lastTreePasses = 0;
LONG writeFaults[kPredefinedRootCount] = {};

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

 private:
  HKEY key_ = nullptr;
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
  ULONG_PTR index = reinterpret_cast<ULONG_PTR>(root) -
                    reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
  return index < kPredefinedRootCount ? &writeFaults[index] : nullptr;
}

// Opens (creating where missing) the key of spec for writing, in the view the
// 64-bit flag selects.
LONG OpenForWriting(HKEY root, const char* spec, RegKey& key) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return ERROR_INVALID_NAME;
  const LONG* fault = WriteFaultOf(root);
  if (fault != nullptr && *fault != ERROR_SUCCESS) return *fault;
  DWORD disposition = 0;
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_WRITE | view64Flag, nullptr, key.Out(), &disposition);
}

bool OpenForReading(HKEY root, const char* spec, RegKey& key) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return false;
  return RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, key.Out()) ==
         ERROR_SUCCESS;
}

LONG SetValue(HKEY root, const char* spec, const char* name, DWORD type, const void* data,
              std::size_t size) {
  RegKey key;
  LONG status = OpenForWriting(root, spec, key);
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size));
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
// other open, RegDeleteKeyA's included, goes through to the target. So the
// link is deleted through its own handle. DeleteIfLink is true when path
// was a link, whether or not it could be deleted.
bool IsLinkKey(HKEY root, const char* path) {
  if (OpenLinkOption() == 0) return false;
  RegKey link;
  DWORD type = REG_NONE;
  return RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, link.Out()) ==
             ERROR_SUCCESS &&
         RegQueryValueExA(link.Get(), "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         type == REG_LINK;
}

bool DeleteIfLink(HKEY root, const char* path) {
  if (!IsLinkKey(root, path)) return false;
  RegKey link;
  NtDeleteKeyFunction deleteKey = FindNtDeleteKey();
  if (deleteKey != nullptr &&
      RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, DELETE, link.Out()) == ERROR_SUCCESS &&
      deleteKey(link.Get()) == 0) {
    ++treeDeletions;
  }
  return true;
}

// One pass over the tree at path: children first, each child's index taken
// once, so siblings that move down into a freed index wait for the next pass.
void DeleteTreePass(HKEY root, const char* path) {
  if (path[0] == '\0') return;  // a root key is never deleted
  if (DeleteIfLink(root, path)) return;
  {
    RegKey key;
    if (RegOpenKeyExA(root, path, OpenLinkOption(), KEY_READ, key.Out()) != ERROR_SUCCESS) return;
    char name[kEnumNameSize];
    for (DWORD index = 0;; ++index) {
      DWORD length = kEnumNameSize;
      if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      // A child whose path does not fit stays, and with it every key above it.
      char child[kRegChildPathSize];
      if (MakeRegChildPath(path, name, child, sizeof child)) DeleteTreePass(root, child);
    }
  }
  if (RegDeleteKeyA(root, path) == ERROR_SUCCESS) ++treeDeletions;
}

using RegDeleteKeyExAFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

RegDeleteKeyExAFunction FindRegDeleteKeyExA() {
  return FindSystemFunction<RegDeleteKeyExAFunction>("advapi32.dll", "RegDeleteKeyExA");
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

bool MakeRegChildPath(const char* path, const char* name, char* child, std::size_t size) {
  if (FormatText(child, size, "%s\\%s", path, name)) return true;
  if (size > 0) child[0] = '\0';
  return false;
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
      LONG status = RegQueryValueExA(key.Get(), name, nullptr, &type,
                                     reinterpret_cast<BYTE*>(dest), &length);
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

void DelRegKey(HKEY root, const char* spec) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path) || path[0] == '\0') return;
  RegDeleteKeyA(root, path);
}

void DelRegValue(HKEY root, const char* spec, const char* name) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path)) return;
  RegKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_WRITE, key.Out()) != ERROR_SUCCESS) return;
  RegDeleteValueA(key.Get(), name);
}

void DelRegTree(HKEY root, const char* spec) {
  lastTreePasses = 0;
  char path[kRegPathSize];
  // A root key is never deleted; the 9x family's single call would take
  // everything below it.
  if (!MakeRegPath(root, spec, path, sizeof path) || path[0] == '\0') return;
  // On the 9x family one call removes a whole subtree; on the NT family a
  // key with subkeys cannot be deleted.
  if (NtMajorVersion() == 0 && RegDeleteKeyA(root, path) == ERROR_SUCCESS) return;
  do {
    treeDeletions = 0;
    ++lastTreePasses;
    DeleteTreePass(root, path);
  } while (treeDeletions > 0);
}

void SetRegView64(bool on) { view64Flag = on ? KEY_WOW64_64KEY : 0; }

void DelRegKey64(HKEY root, const char* spec) {
  char path[kRegPathSize];
  if (!MakeRegPath(root, spec, path, sizeof path) || path[0] == '\0') return;
  if (RegDeleteKeyExAFunction deleteKeyEx = FindRegDeleteKeyExA()) {
    deleteKeyEx(root, path, KEY_WOW64_64KEY, 0);
  } else {
    RegDeleteKeyA(root, path);
  }
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
  DWORD count = 0;
  DWORD longestName = 0;
  DWORD largestData = 0;
  LONG status = RegQueryInfoKeyW(from.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &count, &longestName, &largestData, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  RegKey to;
  status = OpenForWriting(toRoot, toSpec, to);
  if (status != ERROR_SUCCESS) return status;
  // Sized by the key itself: a value cut to a fixed buffer would be another value.
  const DWORD nameSize = longestName + 1;
  HeapBlock name((longestName + 1) * sizeof(wchar_t));
  HeapBlock data(largestData);
  if (name.Get<wchar_t>() == nullptr || data.Get<BYTE>() == nullptr) return ERROR_OUTOFMEMORY;
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength = nameSize;
    DWORD size = largestData + 1;
    DWORD type = REG_NONE;
    status = RegEnumValueW(from.Get(), index, name.Get<wchar_t>(), &nameLength, nullptr, &type,
                           data.Get<BYTE>(), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) {
      status = RegSetValueExW(to.Get(), name.Get<wchar_t>(), 0, type, data.Get<BYTE>(), size);
    }
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

void DelRegValues(HKEY root, const char* spec) {
  char path[kRegPathSize];
  // The values a link shows are those of the key it points at.
  if (!MakeRegPath(root, spec, path, sizeof path) || path[0] == '\0' || IsLinkKey(root, path)) {
    return;
  }
  RegKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Out()) != ERROR_SUCCESS) {
    return;
  }
  DWORD longestName = 0;
  if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  // By "W" name: a name outside the code page could not be deleted by its
  // "A" form.
  HeapBlock name((longestName + 1) * sizeof(wchar_t));
  if (name.Get<wchar_t>() == nullptr) return;
  for (DWORD index = 0;;) {
    DWORD length = longestName + 1;
    if (RegEnumValueW(key.Get(), index, name.Get<wchar_t>(), &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    // A value that stays keeps its index: the next one is looked at instead.
    if (RegDeleteValueW(key.Get(), name.Get<wchar_t>()) != ERROR_SUCCESS) ++index;
  }
}

bool DelRegKeyIfEmpty(HKEY root, const char* spec) {
  char path[kRegPathSize];
  // RegDeleteKeyA would delete the key a link points at.
  if (!MakeRegPath(root, spec, path, sizeof path) || path[0] == '\0' || IsLinkKey(root, path)) {
    return false;
  }
  {
    RegKey key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subKeys != 0 || values != 0) {
      return false;
    }
  }
  return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
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

bool GetRegString(const char* spec, const char* name, std::size_t size,
                  const char* defaultText, char* dest) {
  return GetRegString(HKEY_CURRENT_USER, spec, name, size, defaultText, dest);
}

DWORD GetRegNumber(const char* spec, const char* name, DWORD defaultNumber) {
  return GetRegNumber(HKEY_CURRENT_USER, spec, name, defaultNumber);
}

void DelRegKey(const char* spec) { DelRegKey(HKEY_CURRENT_USER, spec); }

void SetRegWriteFaultForTest(HKEY root, LONG status) {
  if (LONG* fault = WriteFaultOf(root)) *fault = status;
}

void ClearRegWriteFaultsForTest() {
  for (LONG& fault : writeFaults) fault = ERROR_SUCCESS;
}

int LastDelRegTreePassesForTest() { return lastTreePasses; }
