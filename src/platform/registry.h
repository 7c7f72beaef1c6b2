// Registry access: every key is opened and closed within one call, so no
// handle outlives it and callers never see one. Under HKEY_CURRENT_USER a
// key specification is relative to the product key "Software\Korvik",
// unless it begins with a backslash. Texts are narrow ANSI texts; the "A"
// forms of the registry functions are used throughout.
//
// Statuses are Windows error codes, 0 for success. A specification longer
// than kRegSpecLimit characters is refused: writes answer 123
// (ERROR_INVALID_NAME) and write nothing, reads give their default,
// RegKeyPresent is false and deletions do nothing.
//
// Every write and deletion walks its path one key at a time, each opened
// relative to the one above it with REG_OPTION_OPEN_LINK, and acts through
// the handles of that walk, never by the name again. A registry link on
// the way ends the operation (writes answer kRegLinkStatus), except below
// HKEY_LOCAL_MACHINE, where only the system and administrators make keys
// and the system's own links are followed. A link at the end is never
// followed: it is deleted itself or left alone, as each operation says.
// Reads follow links.
#pragma once

#include <windows.h>

#include <cstddef>

// The buffer every key path is built in, and the longest specification it
// takes: the product key prefix must still fit in front of it.
constexpr std::size_t kRegPathSize = 256;
constexpr std::size_t kRegPathReserve = 20;
constexpr std::size_t kRegSpecLimit = kRegPathSize - kRegPathReserve;
// The status of a write that meets a registry link.
constexpr LONG kRegLinkStatus = ERROR_CANT_ACCESS_FILE;

// Builds the path handed to Windows for root and spec into path (capacity
// size). A specification longer than size less kRegPathReserve characters
// is refused: the result is false and path is left empty.
bool MakeRegPath(HKEY root, const char* spec, char* path, std::size_t size);

// Writes create missing keys along the path. A text is stored as REG_SZ
// with its terminator, a number as a 4-byte REG_DWORD, bytes as REG_BINARY.
// A key that is a registry link, or lies below one, is not written.
LONG SetRegString(HKEY root, const char* spec, const char* name, const char* text);
LONG SetRegNumber(HKEY root, const char* spec, const char* name, DWORD number);
LONG SetRegBytes(HKEY root, const char* spec, const char* name, std::size_t count,
                 const void* bytes);

// Reads the value into dest (size bytes, terminator included), whatever its
// stored type. True when a value of at least one byte was read; dest then
// holds a terminated text that ends at the value's first zero byte, or at its
// end when the stored data has no zero (a REG_SZ stored without terminator,
// binary or number data). Data that does not fit with a terminator gives the
// default: a cut text would be another value. Otherwise the result is false
// and dest holds the default text, cut to fit. Nothing past size bytes of
// dest is ever written.
bool GetRegString(HKEY root, const char* spec, const char* name, std::size_t size,
                  const char* defaultText, char* dest);

// The stored number when the value is a REG_DWORD of 4 bytes, else
// defaultNumber: data of any other type is no number of ours.
DWORD GetRegNumber(HKEY root, const char* spec, const char* name, DWORD defaultNumber);

// True when the key can be opened for querying its values.
bool RegKeyPresent(HKEY root, const char* spec);

// Tells whether a key is the product's by its default value: text is that
// value (a REG_SZ or REG_EXPAND_SZ of fewer than 1,025 bytes), or null when
// the key has none such. A registry link opened as itself has none. An
// empty RegOwner accepts every key.
using RegOwnerTest = bool (*)(const char* text, const void* context);
struct RegOwner {
  RegOwnerTest test = nullptr;
  const void* context = nullptr;
};

// Deletes one key without subkeys, when owner accepts it: a key with
// subkeys stays on both families. A path that names the root itself is
// never deleted. A registry link at the path is the key: it is deleted
// itself when owner accepts it (an empty RegOwner does), never what it
// points at.
void DelRegKey(HKEY root, const char* spec, RegOwner owner = {});

// Deletes one value of a key, when owner accepts the key; the empty name is
// the default value. Nothing is deleted from a registry link.
void DelRegValue(HKEY root, const char* spec, const char* name, RegOwner owner = {});

// Deletes the key and everything below it. The 9x family removes a subtree
// with one RegDeleteKeyA, tried first there; otherwise passes run over the
// tree until one deletes nothing, each child opened relative to its
// parent's handle and deleted through its own. A root is never deleted. A
// key that is a registry link (the tree's own key included) is deleted
// itself, as a link: what it points at is never entered nor deleted, even
// when a key of the tree, or one above it, is swapped for a link during the
// walk: the tree's key is opened once, for every pass. A subkey name of 200
// characters or more ends the walk of its parent, which stays; keys 512
// levels or more below the tree's own key stay, and their ancestors too.
void DelRegTree(HKEY root, const char* spec);

// Sends every later write into the 64-bit registry view (KEY_WOW64_64KEY)
// while on. Reads, key tests and deletions always use the process's own view.
void SetRegView64(bool on);

// DelRegKey in the 64-bit view (KEY_WOW64_64KEY on the NT family; the 9x
// family has one view only).
void DelRegKey64(HKEY root, const char* spec, RegOwner owner = {});

// The name of the subkey at index (0, 1, ...) into name (capacity size).
// False, with name empty, when there is no such subkey or its name does not
// fit.
bool GetRegSubKeyName(HKEY root, const char* spec, DWORD index, char* name, std::size_t size);

// Copies every value of one key, the default value included, into another,
// which is created where missing: names, types and data byte for byte (they
// go through the "W" functions, so that no code page conversion alters
// them; where those fail with ERROR_CALL_NOT_IMPLEMENTED, as on the 9x
// family, through the "A" ones). Status 0, or the first failure; 2
// (ERROR_FILE_NOT_FOUND), with nothing created, when the source key is
// missing; kRegLinkStatus, with nothing written, when the destination is
// or lies below a registry link. Writes count as writes for
// SetRegWriteFaultForTest.
LONG CopyRegValues(HKEY fromRoot, const char* fromSpec, HKEY toRoot, const char* toSpec);

// Deletes every value of a key, the default value included; the key and its
// subkeys stay. A root's values are never deleted, nor those of the key a
// registry link points at. By "W" names, else, as in CopyRegValues, by "A"
// ones.
void DelRegValues(HKEY root, const char* spec);

// Deletes the key only while it holds neither a value nor a subkey, on both
// families (the 9x family's RegDeleteKeyA would take a whole subtree). True
// when it was deleted. A registry link stays, and what it points at.
bool DelRegKeyIfEmpty(HKEY root, const char* spec);

// True when the key has a value of that name, of any type and size.
bool RegValuePresent(HKEY root, const char* spec, const char* name);

// True when the value is stored with this type and exactly these bytes.
bool RegValueEquals(HKEY root, const char* spec, const char* name, DWORD type, const void* bytes,
                    std::size_t count);

// Short forms: under HKEY_CURRENT_USER, so relative to the product key.
LONG SetRegString(const char* spec, const char* name, const char* text);
LONG SetRegNumber(const char* spec, const char* name, DWORD number);
bool GetRegString(const char* spec, const char* name, std::size_t size, const char* defaultText,
                  char* dest);
DWORD GetRegNumber(const char* spec, const char* name, DWORD defaultNumber);
void DelRegKey(const char* spec);

// Test hooks.
//
// SetRegWriteFaultForTest makes every later write (SetRegString,
// SetRegNumber, SetRegBytes, CopyRegValues, short forms included) under
// root answer status without touching the registry, after the key
// specification has passed its length check; this is how tests see status 5
// (access denied), which the registry under test never gives. Status 0
// clears the fault of that root; ClearRegWriteFaultsForTest clears all.
// Each of the predefined roots (HKEY_CLASSES_ROOT to HKEY_USERS) can hold
// its own fault; other handles are ignored.
void SetRegWriteFaultForTest(HKEY root, LONG status);
void ClearRegWriteFaultsForTest();

// While on, the "W" registry calls of CopyRegValues and DelRegValues fail
// with ERROR_CALL_NOT_IMPLEMENTED, as the 9x family's stubs do.
void SetRegWideCallsFailForTest(bool fail);

// Calls hook(context) at every step of DelRegTree's passes: before each
// child is opened and before each key is deleted. Null removes it.
void SetDelRegTreeStepHookForTest(void (*hook)(void* context), void* context);
