#include "integration/shell_extension.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/registry_support.h"
#include "support/test_support.h"

namespace {

constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
// Another product's entries beside ours, which removal must leave alone.
constexpr char kNeighbourId[] = "{0C8E5D2B-7A31-4F96-B2E4-5D0A9C7E3F18}";
constexpr char kNeighbourHandler[] = "KorvikNeighbour";
const std::string kGarbage(40, '\xBD');
// Another program's keys that links in the product's places point at.
constexpr char kForeignTarget[] = "System\\KorvikTestTarget";  // under HKEY_LOCAL_MACHINE

// A 32-bit process's own view is the 32-bit one.
constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;

struct Library {
  const char* classId;
  const char* handlerName;  // under WOW64
  const char* fileName;
  REGSAM classView;  // where its class keys belong
};
const Library kLibrary32 = {"{6F2A9C31-5B17-4C3E-8A0D-D3B58C1E47A2}", "Korvik32", "orvext.dll",
                            kView32};
const Library kLibrary64 = {"{6F2A9C31-5B27-4C3E-8A0D-D3B58C1E47A2}", "Korvik", "orvext64.dll",
                            kView64};
const Library* const kLibraries[] = {&kLibrary32, &kLibrary64};

std::string ClassKey(const Library& library) { return std::string("CLSID\\") + library.classId; }
std::string ServerKey(const Library& library) { return ClassKey(library) + "\\InProcServer32"; }

// The handler keys named by the class id.
std::vector<std::string> ClassNamedKeys(const char* classId) {
  std::vector<std::string> keys;
  for (const char* parent :
       {"Korvik\\shellex\\ContextMenuHandlers\\", "Korvik\\shellex\\PropertySheetHandlers\\",
        "Korvik.ZIP\\shellex\\ContextMenuHandlers\\",
        "Korvik.ZIP\\shellex\\PropertySheetHandlers\\",
        "exefile\\shellex\\PropertySheetHandlers\\"}) {
    keys.push_back(parent + std::string(classId));
  }
  return keys;
}

// The handler keys named by the handler name, with the class id as data.
std::vector<std::string> NameKeyedKeys(const char* handlerName) {
  std::vector<std::string> keys;
  for (const char* parent :
       {"*\\shellex\\ContextMenuHandlers\\", "Folder\\shellex\\ContextMenuHandlers\\",
        "Folder\\shellex\\DragDropHandlers\\", "Drive\\shellex\\DragDropHandlers\\",
        "Directory\\shellex\\ContextMenuHandlers\\", "Directory\\shellex\\DragDropHandlers\\"}) {
    keys.push_back(parent + std::string(handlerName));
  }
  return keys;
}

const char* const kDropKeys[] = {"Korvik\\shellex\\DropHandler",
                                 "Korvik.ZIP\\shellex\\DropHandler"};

// --- Raw access, independent of the code under test -----------------------

using test::DeleteKeyTree;
using test::DeleteValue;
using test::KeyExists;
using test::RawValue;
using test::ReadRaw;
using test::WriteRaw;

std::string LibraryPath(const Library& library) {
  return test::ExeFolder() + "\\" + library.fileName;
}

// Stand-ins for the libraries: only their existence counts.
void PlaceLibrary(const Library& library) {
  HANDLE file = CreateFileA(LibraryPath(library).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  WriteFile(file, "MZ", 2, &written, nullptr);
  CloseHandle(file);
}

IntegrationSettings SettingsWithShellExt(bool on) {
  IntegrationSettings settings;
  // Every other flag set the other way: only ShellExt may count.
  std::memset(&settings, on ? 0 : 1, sizeof settings);
  settings.ShellExt = on ? 1 : 0;
  return settings;
}

// --- Expectations ---------------------------------------------------------

struct ExpectedValue {
  HKEY root;
  std::string key;
  std::string name;
  std::string text;
  REGSAM view;
};

void ExpectValues(const std::vector<ExpectedValue>& values) {
  for (const ExpectedValue& expected : values) {
    SCOPED_TRACE(expected.key + " : " + expected.name);
    RawValue value = ReadRaw(expected.root, expected.key, expected.name.c_str(), expected.view);
    EXPECT_EQ(ERROR_SUCCESS, value.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ(expected.text + '\0', value.data);
  }
}

// The class keys of a library, in the view they belong to.
std::vector<ExpectedValue> ClassValues(const Library& library) {
  return {
      {HKEY_CLASSES_ROOT, ClassKey(library), "", "Korvik", library.classView},
      {HKEY_CLASSES_ROOT, ServerKey(library), "", LibraryPath(library), library.classView},
      {HKEY_CLASSES_ROOT, ServerKey(library), "ThreadingModel", "Apartment", library.classView},
  };
}

// Everything of a library but its class keys and the shared drop handlers.
std::vector<ExpectedValue> HandlerValues(const Library& library) {
  std::vector<ExpectedValue> values;
  for (const std::string& key : ClassNamedKeys(library.classId)) {
    values.push_back({HKEY_CLASSES_ROOT, key, "", "", 0});
  }
  for (const std::string& key : NameKeyedKeys(library.handlerName)) {
    values.push_back({HKEY_CLASSES_ROOT, key, "", library.classId, 0});
  }
  values.push_back(
      {HKEY_LOCAL_MACHINE, kApprovedKey, library.classId, "Korvik shell extension", 0});
  return values;
}

// Neither library registered: no class keys in either view, no class-named
// handler keys, no approval; the name-keyed handler keys either stay
// without a default value or were never made.
void ExpectNoRegistration(bool nameKeyedStay, test::CallSite site = test::Here()) {
  ::testing::ScopedTrace trace(site.file, site.line, "ExpectNoRegistration");
  for (const Library* library : kLibraries) {
    SCOPED_TRACE(library->fileName);
    for (REGSAM view : {kView32, kView64}) {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(*library), view)) << view;
    }
    for (const std::string& key : ClassNamedKeys(library->classId)) {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    for (const std::string& key : NameKeyedKeys(library->handlerName)) {
      EXPECT_EQ(nameKeyedStay, KeyExists(HKEY_CLASSES_ROOT, key)) << key;
      if (nameKeyedStay) {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRaw(HKEY_CLASSES_ROOT, key, "").status) << key;
      }
    }
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              ReadRaw(HKEY_LOCAL_MACHINE, kApprovedKey, library->classId).status);
  }
}

REGSAM OtherView(REGSAM view) { return view == kView64 ? kView32 : kView64; }

// --- Fixture --------------------------------------------------------------

class ShellExtensionTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }

  static void Clean() {
    test::ResetRegistrySeams();
    for (const Library* library : kLibraries) {
      DeleteFileA(LibraryPath(*library).c_str());
      for (REGSAM view : {kView32, kView64}) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, ClassKey(*library), view);
      }
      for (const std::string& key : ClassNamedKeys(library->classId)) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, key, 0);
      }
      DeleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, library->classId);
    }
    for (const char* name : {"Korvik", "Korvik32", kNeighbourHandler}) {
      for (const std::string& key : NameKeyedKeys(name)) DeleteKeyTree(HKEY_CLASSES_ROOT, key, 0);
    }
    DeleteKeyTree(HKEY_CLASSES_ROOT, "Korvik", 0);
    DeleteKeyTree(HKEY_CLASSES_ROOT, "Korvik.ZIP", 0);
    for (REGSAM view : {kView32, kView64}) {
      DeleteKeyTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kNeighbourId, view);
    }
    for (const std::string& key : ClassNamedKeys(kNeighbourId)) {
      DeleteKeyTree(HKEY_CLASSES_ROOT, key, 0);
    }
    DeleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, kNeighbourId);
    for (const std::string& link : LinkPlaces()) test::DeleteRegistryLink(HKEY_CLASSES_ROOT, link);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kForeignTarget);
  }

  // A class-named handler key that removal deletes, and a name-keyed one
  // whose default value it deletes.
  static std::vector<std::string> LinkPlaces() {
    return {ClassNamedKeys(kLibrary32.classId).back(), NameKeyedKeys(kLibrary32.handlerName)[0]};
  }
};

// --- WOW64 test -----------------------------------------------------------

TEST_F(ShellExtensionTest, RunningUnderWow64AgreesWithTheSystemAndKeepsItsAnswer) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  ResetWow64CacheForTest();
  ASSERT_EQ(-1, Wow64CacheForTest());
  const bool expected = test::IsWow64();
  EXPECT_TRUE(expected) << "the unit tests run in a 64-bit prefix";

  EXPECT_EQ(expected, RunningUnderWow64());
  EXPECT_EQ(expected ? 1 : 0, Wow64CacheForTest());
  EXPECT_EQ(expected, RunningUnderWow64());
  EXPECT_EQ(expected ? 1 : 0, Wow64CacheForTest());
}

// --- Registration -----------------------------------------------------------

TEST_F(ShellExtensionTest, RegistersBothLibrariesUnderWow64OverOldValues) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  ASSERT_TRUE(RunningUnderWow64());
  for (const Library* library : kLibraries) {
    PlaceLibrary(*library);
    std::vector<ExpectedValue> all = ClassValues(*library);
    for (const ExpectedValue& value : HandlerValues(*library)) all.push_back(value);
    for (const ExpectedValue& value : all) {
      WriteRaw(value.root, value.key, value.name.c_str(), kGarbage, value.view);
    }
  }
  for (const char* key : kDropKeys) WriteRaw(HKEY_CLASSES_ROOT, key, "", kGarbage);

  RegisterShellExtensions(SettingsWithShellExt(true));

  for (const Library* library : kLibraries) {
    SCOPED_TRACE(library->fileName);
    ExpectValues(ClassValues(*library));
    ExpectValues(HandlerValues(*library));
  }
  // Both libraries write the same two drop handler keys; the 64-bit one
  // comes last.
  for (const char* key : kDropKeys) {
    ExpectValues({{HKEY_CLASSES_ROOT, key, "", kLibrary64.classId, 0}});
  }
}

TEST_F(ShellExtensionTest, ClassKeysGoOnlyToTheirOwnView) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  for (const Library* library : kLibraries) PlaceLibrary(*library);

  RegisterShellExtensions(SettingsWithShellExt(true));

  for (const Library* library : kLibraries) {
    SCOPED_TRACE(library->fileName);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ServerKey(*library), library->classView));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(*library), OtherView(library->classView)));
  }
}

TEST_F(ShellExtensionTest, ClassKeysOnlyForLibraryFilesThatExist) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  struct Row {
    bool has32;
    bool has64;
  };
  const Row rows[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.has32 ? "orvext.dll " : "") + (row.has64 ? "orvext64.dll" : ""));
    Clean();
    if (row.has32) PlaceLibrary(kLibrary32);
    if (row.has64) PlaceLibrary(kLibrary64);

    RegisterShellExtensions(SettingsWithShellExt(true));

    EXPECT_EQ(row.has32, KeyExists(HKEY_CLASSES_ROOT, ClassKey(kLibrary32), kView32));
    EXPECT_EQ(row.has64, KeyExists(HKEY_CLASSES_ROOT, ClassKey(kLibrary64), kView64));
    if (row.has32) ExpectValues(ClassValues(kLibrary32));
    if (row.has64) ExpectValues(ClassValues(kLibrary64));
    ExpectValues(HandlerValues(kLibrary32));
    ExpectValues(HandlerValues(kLibrary64));
  }
}

TEST_F(ShellExtensionTest, LaterWritesGoToTheDefaultViewAgain) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  const std::string probeKey = std::string("CLSID\\") + kNeighbourId;
  for (const Library* library : kLibraries) PlaceLibrary(*library);

  RegisterShellExtensions(SettingsWithShellExt(true));
  SetRegString(HKEY_CLASSES_ROOT, probeKey.c_str(), "", "x");

  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, probeKey, kView32));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, probeKey, kView64));
}

// --- Removal --------------------------------------------------------------

TEST_F(ShellExtensionTest, RemovalUndoesTheRegistrationAndLeavesNameKeysEmpty) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  for (const Library* library : kLibraries) PlaceLibrary(*library);
  RegisterShellExtensions(SettingsWithShellExt(true));
  // Another product's entries in the same places.
  const std::vector<ExpectedValue> neighbours = {
      {HKEY_CLASSES_ROOT, std::string("CLSID\\") + kNeighbourId, "", "Neighbour", kView32},
      {HKEY_CLASSES_ROOT, ClassNamedKeys(kNeighbourId)[0], "", "", 0},
      {HKEY_CLASSES_ROOT, NameKeyedKeys(kNeighbourHandler)[0], "", kNeighbourId, 0},
      {HKEY_LOCAL_MACHINE, kApprovedKey, kNeighbourId, "Neighbour", 0},
  };
  for (const ExpectedValue& value : neighbours) {
    WriteRaw(value.root, value.key, value.name.c_str(), value.text, value.view);
  }

  RegisterShellExtensions(SettingsWithShellExt(false));

  ExpectNoRegistration(true);
  for (const char* key : kDropKeys) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  // The program ids' own keys go with the program ids, at uninstall.
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Korvik\\shellex"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Korvik.ZIP\\shellex"));
  ExpectValues(neighbours);
}

// Setup writes the 64-bit library's class in the 64-bit view; removed in the
// default view it would stay registered after the uninstall.
TEST_F(ShellExtensionTest, RemovalDeletesTheSixtyFourBitClassInTheSixtyFourBitView) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  PlaceLibrary(kLibrary64);
  RegisterShellExtensions(SettingsWithShellExt(true));
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ServerKey(kLibrary64), kView64));

  RegisterShellExtensions(SettingsWithShellExt(false));

  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ServerKey(kLibrary64), kView64));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kLibrary64), kView64));
}

// Removal deletes single keys, never a tree: what else lives below the
// class id is not ours to take.
TEST_F(ShellExtensionTest, RemovalLeavesAClassKeyThatHoldsOtherKeys) {
  for (const Library* library : kLibraries) {
    SCOPED_TRACE(library->fileName);
    Clean();
    PlaceLibrary(*library);
    RegisterShellExtensions(SettingsWithShellExt(true));
    // A subkey the removal does not know keeps the class key in place.
    WriteRaw(HKEY_CLASSES_ROOT, ClassKey(*library) + "\\Other", "", "x", library->classView);

    RegisterShellExtensions(SettingsWithShellExt(false));

    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ServerKey(*library), library->classView));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(*library) + "\\Other", library->classView));
  }
}

// Links in the product's places, to keys of another program under
// HKEY_LOCAL_MACHINE that look like the product's own (an empty default
// value, the product's class id): removal deletes nothing there.
TEST_F(ShellExtensionTest, RemovalNeverFollowsALinkInTheProductsPlace) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  ASSERT_TRUE(RunningUnderWow64());
  for (const Library* library : kLibraries) PlaceLibrary(*library);
  RegisterShellExtensions(SettingsWithShellExt(true));
  const std::vector<std::string> places = LinkPlaces();
  const std::string targets[] = {std::string(kForeignTarget) + "\\Empty",
                                 std::string(kForeignTarget) + "\\Handler"};
  WriteRaw(HKEY_LOCAL_MACHINE, targets[0], "", "");
  WriteRaw(HKEY_LOCAL_MACHINE, targets[1], "", kLibrary32.classId);
  WriteRaw(HKEY_LOCAL_MACHINE, targets[1] + "\\Child", "v", "x");
  const test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_LOCAL_MACHINE, kForeignTarget);
  for (std::size_t i = 0; i < places.size(); ++i) {
    ASSERT_TRUE(DeleteKeyTree(HKEY_CLASSES_ROOT, places[i]));
    ASSERT_TRUE(test::CreateRegistryLink(HKEY_CLASSES_ROOT, places[i],
                                         test::KernelKeyPath(HKEY_LOCAL_MACHINE, targets[i])));
    // Through the link, the other program's key shows in the product's place.
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, places[i]));
  }

  RegisterShellExtensions(SettingsWithShellExt(false));

  EXPECT_EQ(std::vector<std::string>{},
            test::SnapshotDifferences(before,
                                      test::SnapshotRegistry(HKEY_LOCAL_MACHINE, kForeignTarget)));
  // Everything else of the product's still goes.
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kLibrary32), kView32));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassNamedKeys(kLibrary32.classId)[0]));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            ReadRaw(HKEY_CLASSES_ROOT, NameKeyedKeys(kLibrary32.handlerName)[1], "").status);
}

// Keys in the product's places that another program has since made its
// own keep what that program wrote; the rest of the product's goes.
TEST_F(ShellExtensionTest, RemovalLeavesKeysThatAreNoLongerTheProducts) {
  KORVIK_SKIP_IN_64_BIT_BUILD();
  ASSERT_TRUE(RunningUnderWow64());
  for (const Library* library : kLibraries) PlaceLibrary(*library);
  RegisterShellExtensions(SettingsWithShellExt(true));
  const std::vector<ExpectedValue> others = {
      {HKEY_CLASSES_ROOT, ClassKey(kLibrary32), "", "Other class", kView32},
      {HKEY_CLASSES_ROOT, ServerKey(kLibrary64), "", "C:\\Other\\other64.dll", kView64},
      {HKEY_CLASSES_ROOT, ClassNamedKeys(kLibrary32.classId)[1], "", "other", 0},
      {HKEY_CLASSES_ROOT, kDropKeys[0], "", kNeighbourId, 0},
      {HKEY_CLASSES_ROOT, NameKeyedKeys(kLibrary32.handlerName)[2], "", kNeighbourId, 0},
      {HKEY_CLASSES_ROOT, NameKeyedKeys(kLibrary64.handlerName)[3], "", "{6f2a9c31}", 0},
  };
  for (const ExpectedValue& value : others) {
    WriteRaw(value.root, value.key, value.name.c_str(), value.text, value.view);
  }
  // The product's own, written in other letter case, is still its own.
  WriteRaw(HKEY_CLASSES_ROOT, kDropKeys[1], "", "{6f2a9c31-5b27-4c3e-8a0d-d3b58c1e47a2}");
  WriteRaw(HKEY_CLASSES_ROOT, ServerKey(kLibrary32), "", "C:\\ELSEWHERE\\ORVEXT.DLL", kView32);

  RegisterShellExtensions(SettingsWithShellExt(false));

  ExpectValues(others);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kDropKeys[1]));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ServerKey(kLibrary32), kView32));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassNamedKeys(kLibrary32.classId)[0]));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            ReadRaw(HKEY_CLASSES_ROOT, NameKeyedKeys(kLibrary32.handlerName)[0], "").status);
}

TEST_F(ShellExtensionTest, RemovalWithNothingRegisteredCreatesNothing) {
  for (const Library* library : kLibraries) PlaceLibrary(*library);

  RegisterShellExtensions(SettingsWithShellExt(false));

  ExpectNoRegistration(false);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Korvik"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Korvik.ZIP"));
}

}  // namespace
