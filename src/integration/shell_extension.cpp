#include "integration/shell_extension.h"

#include <windows.h>

#include <cstddef>

#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

enum class Root { ClassesRoot, LocalMachine };
enum class ValueName { Default, ThreadingModel, ClassId };
enum class Data { ClassName, LibraryPath, Apartment, Empty, ClassId, ApprovedName };
// What replaces the "%s" in the key.
enum class Placeholder { ClassId, HandlerName, None };
// How removal undoes the row. The class keys go child first, in the view
// they were written in; the key of row 3 goes with row 2.
enum class Removal { ClassKey, WithRowAbove, Key, DefaultValue, NamedValue };
// What a key's default value must hold for removal to take it as the
// product's. The rows share keys with the system and other programs, and a
// key may have been replaced since setup; what is not ours is left alone.
enum class Owner {
  ClassName,    // the class name the product writes
  Library,      // a path that names this library's file
  EmptyOrNone,  // a handler key named by the class id: nothing or ""
  ClassId,      // one of the product's class ids
  ValueName,    // a value named by the class id, in a key of the system's
};

struct ShellExtRow {
  Root root;
  const char* key;
  ValueName name;
  Data data;
  Placeholder placeholder;
  Removal removal;
  Owner owner;
};

constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Rows in the order they are written. The first kClassRowCount rows are the
// class registration, written only when the library file exists.
constexpr std::size_t kClassRowCount = 3;
constexpr ShellExtRow kRows[] = {
    {Root::ClassesRoot, "CLSID\\%s", ValueName::Default, Data::ClassName, Placeholder::ClassId,
     Removal::ClassKey, Owner::ClassName},
    {Root::ClassesRoot, "CLSID\\%s\\InProcServer32", ValueName::Default, Data::LibraryPath,
     Placeholder::ClassId, Removal::ClassKey, Owner::Library},
    {Root::ClassesRoot, "CLSID\\%s\\InProcServer32", ValueName::ThreadingModel, Data::Apartment,
     Placeholder::ClassId, Removal::WithRowAbove, Owner::Library},
    {Root::ClassesRoot, "Korvik\\shellex\\ContextMenuHandlers\\%s", ValueName::Default, Data::Empty,
     Placeholder::ClassId, Removal::Key, Owner::EmptyOrNone},
    {Root::ClassesRoot, "Korvik\\shellex\\PropertySheetHandlers\\%s", ValueName::Default,
     Data::Empty, Placeholder::ClassId, Removal::Key, Owner::EmptyOrNone},
    {Root::ClassesRoot, "Korvik.ZIP\\shellex\\ContextMenuHandlers\\%s", ValueName::Default,
     Data::Empty, Placeholder::ClassId, Removal::Key, Owner::EmptyOrNone},
    {Root::ClassesRoot, "Korvik.ZIP\\shellex\\PropertySheetHandlers\\%s", ValueName::Default,
     Data::Empty, Placeholder::ClassId, Removal::Key, Owner::EmptyOrNone},
    {Root::ClassesRoot, "exefile\\shellex\\PropertySheetHandlers\\%s", ValueName::Default,
     Data::Empty, Placeholder::ClassId, Removal::Key, Owner::EmptyOrNone},
    {Root::ClassesRoot, "Korvik\\shellex\\DropHandler", ValueName::Default, Data::ClassId,
     Placeholder::None, Removal::Key, Owner::ClassId},
    {Root::ClassesRoot, "Korvik.ZIP\\shellex\\DropHandler", ValueName::Default, Data::ClassId,
     Placeholder::None, Removal::Key, Owner::ClassId},
    {Root::ClassesRoot, "*\\shellex\\ContextMenuHandlers\\%s", ValueName::Default, Data::ClassId,
     Placeholder::HandlerName, Removal::DefaultValue, Owner::ClassId},
    {Root::ClassesRoot, "Folder\\shellex\\ContextMenuHandlers\\%s", ValueName::Default,
     Data::ClassId, Placeholder::HandlerName, Removal::DefaultValue, Owner::ClassId},
    {Root::ClassesRoot, "Folder\\shellex\\DragDropHandlers\\%s", ValueName::Default, Data::ClassId,
     Placeholder::HandlerName, Removal::DefaultValue, Owner::ClassId},
    {Root::ClassesRoot, "Drive\\shellex\\DragDropHandlers\\%s", ValueName::Default, Data::ClassId,
     Placeholder::HandlerName, Removal::DefaultValue, Owner::ClassId},
    {Root::ClassesRoot, "Directory\\shellex\\ContextMenuHandlers\\%s", ValueName::Default,
     Data::ClassId, Placeholder::HandlerName, Removal::DefaultValue, Owner::ClassId},
    {Root::ClassesRoot, "Directory\\shellex\\DragDropHandlers\\%s", ValueName::Default,
     Data::ClassId, Placeholder::HandlerName, Removal::DefaultValue, Owner::ClassId},
    {Root::LocalMachine, kApprovedKey, ValueName::ClassId, Data::ApprovedName, Placeholder::None,
     Removal::NamedValue, Owner::ValueName},
};
constexpr std::size_t kRowCount = sizeof kRows / sizeof kRows[0];
static_assert(kRowCount == 17, "one row per key and value written");

// -1: not known yet; else 0 or 1.
int wow64Cache = -1;

// One library's texts, as the rows need them.
struct Library {
  const char* classId;
  const char* handlerName;
  const char* fileName;
  const char* path;  // empty when the program's own path does not fit
};

HKEY RootKey(Root root) {
  return root == Root::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

const char* NameOf(const ShellExtRow& row, const Library& library) {
  switch (row.name) {
    case ValueName::Default:
      return "";
    case ValueName::ThreadingModel:
      return "ThreadingModel";
    case ValueName::ClassId:
      return library.classId;
  }
  return "";
}

const char* DataOf(const ShellExtRow& row, const Library& library) {
  switch (row.data) {
    case Data::ClassName:
      return "Korvik";
    case Data::LibraryPath:
      return library.path;
    case Data::Apartment:
      return "Apartment";
    case Data::Empty:
      return "";
    case Data::ClassId:
      return library.classId;
    case Data::ApprovedName:
      return "Korvik shell extension";
  }
  return "";
}

// The row's key for this library. False when it does not fit, so that a
// cut name never reaches the registry.
bool KeyOf(const ShellExtRow& row, const Library& library, char* key, std::size_t size) {
  switch (row.placeholder) {
    case Placeholder::ClassId:
      return FormatText(key, size, row.key, library.classId);
    case Placeholder::HandlerName:
      return FormatText(key, size, row.key, library.handlerName);
    case Placeholder::None:
      return CopyText(key, size, row.key);
  }
  return false;
}

void WriteRow(const ShellExtRow& row, const Library& library) {
  char key[kRegPathSize];
  if (!KeyOf(row, library, key, sizeof key)) return;
  SetRegString(RootKey(row.root), key, NameOf(row, library), DataOf(row, library));
}

bool IsClassName(const char* text, const void*) {
  return text != nullptr && CompareNames(text, "Korvik") == 0;
}

bool NamesLibrary(const char* text, const void* fileName) {
  return text != nullptr &&
         CompareNames(FileNamePart(text), static_cast<const char*>(fileName)) == 0;
}

bool IsEmptyOrNone(const char* text, const void*) { return text == nullptr || text[0] == '\0'; }

bool IsProductClassId(const char* text, const void*) {
  return text != nullptr && (CompareNames(text, kShellExtClassId32) == 0 ||
                             CompareNames(text, kShellExtClassId64) == 0);
}

bool NothingIsOurs(const char*, const void*) { return false; }

RegOwner OwnerOf(const ShellExtRow& row, const Library& library) {
  switch (row.owner) {
    case Owner::ClassName:
      return {IsClassName, nullptr};
    case Owner::Library:
      return {NamesLibrary, library.fileName};
    case Owner::EmptyOrNone:
      return {IsEmptyOrNone, nullptr};
    case Owner::ClassId:
      return {IsProductClassId, nullptr};
    case Owner::ValueName:
      return {};
  }
  return {NothingIsOurs, nullptr};
}

void RemoveRow(const ShellExtRow& row, const Library& library, bool is64) {
  char key[kRegPathSize];
  if (!KeyOf(row, library, key, sizeof key)) return;
  HKEY root = RootKey(row.root);
  const RegOwner owner = OwnerOf(row, library);
  switch (row.removal) {
    case Removal::ClassKey:
      // The 64-bit library's class lives in the 64-bit view, where it was
      // written: deleted in the default view it would stay registered.
      if (is64) {
        DelRegKey64(root, key, owner);
      } else {
        DelRegKey(root, key, owner);
      }
      break;
    case Removal::WithRowAbove:
      break;
    case Removal::Key:
      DelRegKey(root, key, owner);
      break;
    case Removal::DefaultValue:
      DelRegValue(root, key, "", owner);
      break;
    case Removal::NamedValue:
      DelRegValue(root, key, NameOf(row, library), owner);
      break;
  }
}

void Register(const Library& library, bool is64) {
  if (library.path[0] != '\0' && PathExists(library.path)) {
    if (is64) SetRegView64(true);
    for (std::size_t i = 0; i < kClassRowCount; ++i) WriteRow(kRows[i], library);
    if (is64) SetRegView64(false);
  }
  for (std::size_t i = kClassRowCount; i < kRowCount; ++i) WriteRow(kRows[i], library);
}

void Remove(const Library& library, bool is64) {
  // Child first: on the NT family a key with subkeys cannot be deleted alone.
  for (std::size_t i = kClassRowCount; i-- > 0;) RemoveRow(kRows[i], library, is64);
  for (std::size_t i = kClassRowCount; i < kRowCount; ++i) RemoveRow(kRows[i], library, is64);
}

}  // namespace

void RegisterShellExtensions(const IntegrationSettings& settings) {
  bool on = settings.ShellExt != 0;
  bool wow64 = RunningUnderWow64();
  RegisterShellExtension(on, kShellExtClassId32, kShellExtLibrary32, false,
                         wow64 ? "Korvik32" : "Korvik");
  if (RunningUnderWow64()) {
    RegisterShellExtension(on, kShellExtClassId64, kShellExtLibrary64, true, "Korvik");
  }
}

void RegisterShellExtension(bool on, const char* classId, const char* libraryName, bool is64,
                            const char* handlerName) {
  Library library{classId, handlerName, libraryName, ""};
  char path[kPathSize] = "";
  if (on) {
    PathBesideProgram(libraryName, path, sizeof path);  // empty when it does not fit
    library.path = path;
    Register(library, is64);
  } else {
    Remove(library, is64);
  }
}

bool RunningUnderWow64() {
  if (wow64Cache == -1) {
    bool wow64 = false;
    if (QueryWow64(&wow64)) wow64Cache = wow64 ? 1 : 0;
  }
  return wow64Cache == 1;
}

int Wow64CacheForTest() { return wow64Cache; }

void ResetWow64CacheForTest() { wow64Cache = -1; }
