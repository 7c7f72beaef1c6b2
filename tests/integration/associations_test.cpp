#include "integration/associations.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/registry_support.h"
#include "support/test_support.h"

namespace {

constexpr char kSavedRoot[] = "Software\\Korvik";  // under HKEY_CURRENT_USER

// Every extension of the archive types, in table order, with the program id
// it is pointed at.
struct ExpectedExtension {
  const char* extension;
  const char* programId;
  std::size_t type;
};
const ExpectedExtension kExtensions[] = {
    {".orv", "Korvik", 0},   {".zip", "Korvik.ZIP", 1}, {".cab", "Korvik", 2},
    {".arj", "Korvik", 3},   {".lzh", "Korvik", 4},     {".lha", "Korvik", 4},
    {".ace", "Korvik", 5},   {".7z", "Korvik", 6},      {".tar", "Korvik", 7},
    {".gz", "Korvik", 8},    {".tgz", "Korvik", 8},     {".uue", "Korvik", 9},
    {".xxe", "Korvik", 9},   {".uu", "Korvik", 9},      {".bz2", "Korvik", 10},
    {".tbz2", "Korvik", 10}, {".bz", "Korvik", 10},     {".tbz", "Korvik", 10},
    {".jar", "Korvik", 11},  {".iso", "Korvik", 12},    {".z", "Korvik", 13},
    {".taz", "Korvik", 13},
};

const unsigned char kOrvImage[] = {0x4F, 0x72, 0x76, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                                   0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const unsigned char kZipImage[] = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0,
                                   0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0};

using test::KeyExists;
using test::RawValue;
using test::ReadNumber;
using test::ReadRaw;
using test::ReadText;
using test::ValueNames;
using test::Volume;
using test::WriteNumber;
using test::WriteRaw;
using test::WriteText;

std::string Saved(const char* extension) {
  return std::string(kSavedRoot) + "\\Setup\\" + extension;
}

std::string ShellNew(const std::string& extension) { return extension + "\\ShellNew"; }

std::string ReadFileBytes(const std::string& path) { return test::ReadWholeFile(path); }

bool FileExists(const std::string& path) { return test::Exists(path); }

std::string Bytes(const unsigned char* bytes, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

std::string TestsFolder() { return test::ExeFolder(); }
std::string ProbeFolder() { return test::ExeFolder() + "\\helpers"; }

// Removes every key and file the operations under test may make, here and
// beside probe.exe.
void RemoveEverything() {
  for (const ExpectedExtension& row : kExtensions)
    test::DeleteKeyTree(HKEY_CLASSES_ROOT, row.extension);
  for (int number = 0; number < 100; ++number) {
    test::DeleteKeyTree(HKEY_CLASSES_ROOT, Volume(number));
  }
  for (const char* key : {"Korvik", "Korvik.ZIP", "Korvik.REV", ".rev"}) {
    test::DeleteKeyTree(HKEY_CLASSES_ROOT, key);
  }
  test::DeleteKeyTree(HKEY_CURRENT_USER, kSavedRoot);
  for (const std::string& folder : {TestsFolder(), ProbeFolder()}) {
    for (const char* name : {"\\orvnew.dat", "\\zipnew.dat"}) {
      std::string path = folder + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  }
}

IntegrationSettings Settings(std::initializer_list<std::size_t> types, bool shell) {
  IntegrationSettings settings;
  std::memset(&settings, 0, sizeof settings);
  for (std::size_t type : types) settings.TypeFlags[type] = 1;
  settings.ShellExt = shell ? 1 : 0;
  return settings;
}

IntegrationSettings AllOff() { return Settings({}, false); }

class AssociationsTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveEverything(); }
  void TearDown() override {
    test::ResetRegistrySeams();
    RemoveEverything();
  }
};

// --- Taking over and releasing --------------------------------------------

void PrepareForeignZip() {
  WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
  WriteText(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/x-zip-compressed");
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "NullFile", "");
}

TEST_F(AssociationsTest, TakeOverOfZipSavesFormerOwnerAndWritesTemplateFile) {
  PrepareForeignZip();
  SetAssociations(Settings({1}, true));

  EXPECT_EQ(1, ReadNumber(HKEY_CURRENT_USER, Saved(".zip"), "Exist"));
  EXPECT_EQ("OtherZip", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "Type"));
  EXPECT_EQ("application/x-zip-compressed", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "Content"));
  EXPECT_EQ("*", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "ShellNew"));

  EXPECT_EQ("Korvik.ZIP", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
  EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, ".zip", "Content Type").present);
  std::string templatePath = TestsFolder() + "\\zipnew.dat";
  EXPECT_EQ(std::vector<std::string>{"FileName"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
  EXPECT_EQ(templatePath, ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName"));
  EXPECT_EQ(Bytes(kZipImage, sizeof kZipImage), ReadFileBytes(templatePath));

  // Only the ticked type is touched.
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".orv"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".cab"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Saved(".cab")));
  EXPECT_FALSE(FileExists(TestsFolder() + "\\orvnew.dat"));
}

TEST_F(AssociationsTest, SecondRunKeepsTheStateFromBeforeTheFirst) {
  PrepareForeignZip();
  SetAssociations(Settings({1}, true));
  // Written while the extension is the product's: not a former owner.
  WriteText(HKEY_CLASSES_ROOT, ".zip", "Content Type", "changed/in-between");
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName", "C:\\changed.zip");

  SetAssociations(Settings({1}, true));

  EXPECT_EQ(1, ReadNumber(HKEY_CURRENT_USER, Saved(".zip"), "Exist"));
  EXPECT_EQ("OtherZip", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "Type"));
  EXPECT_EQ("application/x-zip-compressed", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "Content"));
  EXPECT_EQ("*", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "ShellNew"));
  EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, ".zip", "Content Type").present);
  EXPECT_EQ(TestsFolder() + "\\zipnew.dat",
            ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName"));
}

TEST_F(AssociationsTest, UntickingZipRestoresFormerOwner) {
  PrepareForeignZip();
  SetAssociations(Settings({1}, true));
  SetAssociations(Settings({}, true));

  EXPECT_EQ("OtherZip", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
  EXPECT_EQ("application/x-zip-compressed", ReadText(HKEY_CLASSES_ROOT, ".zip", "Content Type"));
  EXPECT_EQ(std::vector<std::string>{"NullFile"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
  EXPECT_EQ("", ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "NullFile"));
  // The saved state stays until the product key goes.
  EXPECT_EQ("OtherZip", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "Type"));
}

// A former value that would not come back as it was (another type, data
// past a zero, too long to save) is not replaced: the extension stays its
// owner's, its values byte for byte.
TEST_F(AssociationsTest, FormerValueThatCannotBeSavedWholeKeepsTheExtension) {
  const DWORD number = 0x41;
  const std::string huge(600, 'x');
  struct Row {
    const char* name;
    const char* value;
    DWORD type;
    std::string data;
  };
  const Row rows[] = {
      {"expandable program id", "", REG_EXPAND_SZ, std::string("%OtherZip%", 11)},
      {"number as program id", "", REG_DWORD,
       std::string(reinterpret_cast<const char*>(&number), 4)},
      {"list as program id", "", REG_MULTI_SZ, std::string("OtherZip\0Second\0", 17)},
      {"text past a zero", "", REG_SZ, std::string("OtherZip\0hidden", 16)},
      {"huge program id", "", REG_SZ, huge + std::string(1, '\0')},
      {"binary content type", "Content Type", REG_BINARY, std::string("\x01\x02", 2)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    if (row.value[0] != '\0') WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    WriteRaw(HKEY_CLASSES_ROOT, ".zip", row.value, row.type, row.data.data(),
             static_cast<DWORD>(row.data.size()));
    SetAssociations(Settings({1}, false));
    SetAssociations(AllOff());
    RawValue value = ReadRaw(HKEY_CLASSES_ROOT, ".zip", row.value);
    EXPECT_EQ(row.type, value.type);
    EXPECT_EQ(row.data, value.data);
  }
}

TEST_F(AssociationsTest, ReleaseRestoresFormerTemplateFileName) {
  struct Row {
    const char* name;
    bool hasFileName;
    bool hasNullFile;
    const char* savedShellNew;
    std::vector<std::string> restoredValues;
  };
  const Row rows[] = {
      {"file name", true, false, "C:\\Templates\\other.zip", {"FileName"}},
      {"file name and null file", true, true, "C:\\Templates\\other.zip", {"FileName", "NullFile"}},
      {"null file", false, true, "*", {"NullFile"}},
      {"neither", false, false, "", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    if (row.hasFileName) {
      WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName", "C:\\Templates\\other.zip");
    }
    if (row.hasNullFile) WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "NullFile", "");

    SetAssociations(Settings({1}, true));
    EXPECT_EQ(row.savedShellNew, ReadText(HKEY_CURRENT_USER, Saved(".zip"), "ShellNew"));
    SetAssociations(AllOff());

    EXPECT_EQ("OtherZip", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_EQ(row.restoredValues, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
    if (row.hasFileName) {
      EXPECT_EQ("C:\\Templates\\other.zip",
                ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName"));
    }
  }
}

// Whatever the former owner's new-file entry held comes back byte for byte,
// and a new-file key that only the product made goes.
TEST_F(AssociationsTest, ReleaseGivesBackTheWholeFormerNewFileEntry) {
  const unsigned char otherImage[] = {0x50, 0x4B, 0x03, 0x04, 0xBD};
  const DWORD flags = 7;
  struct Row {
    const char* name;
    void (*prepare)(const unsigned char* image, DWORD flags);
    bool shell;
  };
  const Row rows[] = {
      {"command and icon",
       [](const unsigned char*, DWORD) {
         WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "Command", "other.exe /new \"%1\"");
         WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "IconPath", "C:\\Other\\other.exe,2");
         WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "ItemName", "@other.dll,-101");
       },
       true},
      {"binary data, a number and a subkey",
       [](const unsigned char* image, DWORD number) {
         WriteRaw(HKEY_CLASSES_ROOT, ShellNew(".zip"), "Data", REG_BINARY, image, 5);
         WriteNumber(HKEY_CLASSES_ROOT, ShellNew(".zip"), "Flags", number);
         WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip") + "\\Config", "NoExtension", "");
       },
       true},
      {"an empty key",
       [](const unsigned char*, DWORD) {
         WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "", "x");
         HKEY key;
         RegOpenKeyExA(HKEY_CLASSES_ROOT, ShellNew(".zip").c_str(), 0, KEY_SET_VALUE, &key);
         RegDeleteValueA(key, "");
         RegCloseKey(key);
       },
       true},
      {"no key", [](const unsigned char*, DWORD) {}, true},
      {"command, shell integration off",
       [](const unsigned char*, DWORD) {
         WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "Command", "other.exe /new");
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    row.prepare(otherImage, flags);
    test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip");

    SetAssociations(Settings({1}, row.shell));
    if (row.shell) {
      EXPECT_EQ(std::vector<std::string>{"FileName"},
                ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
    }
    SetAssociations(AllOff());

    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(before, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip")));
  }
}

// A record of an earlier setup holds only the "ShellNew" text: it still
// restores.
TEST_F(AssociationsTest, RecordOfAnEarlierSetupStillRestoresTheNewFileEntry) {
  struct Row {
    const char* saved;
    std::vector<std::string> values;
  };
  const Row rows[] = {{"*", {"NullFile"}}, {"C:\\Old\\old.zip", {"FileName"}}, {"", {}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.saved);
    RemoveEverything();
    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "Korvik.ZIP");
    WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName", TestsFolder() + "\\zipnew.dat");
    WriteNumber(HKEY_CURRENT_USER, Saved(".zip"), "Exist", 1);
    WriteText(HKEY_CURRENT_USER, Saved(".zip"), "Type", "OldZip");
    WriteText(HKEY_CURRENT_USER, Saved(".zip"), "Content", "");
    WriteText(HKEY_CURRENT_USER, Saved(".zip"), "ShellNew", row.saved);

    SetAssociations(AllOff());

    EXPECT_EQ("OldZip", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_EQ(row.values, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
    EXPECT_EQ(!row.values.empty(), KeyExists(HKEY_CLASSES_ROOT, ShellNew(".zip")));
    if (row.values == std::vector<std::string>{"FileName"}) {
      EXPECT_EQ(row.saved, ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName"));
    }
  }
}

// Release with every write under HKEY_CLASSES_ROOT refused: the extension
// stays the product's, so its saved owner is still needed, and a later
// release with the rights gives everything back.
TEST_F(AssociationsTest, RefusedReleaseKeepsTheExtensionForALaterOne) {
  WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
  WriteText(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/x-other");
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "Command", "other.exe /new");
  test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip");
  SetAssociations(Settings({1}, true));

  SetRegWriteFaultForTest(HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED);
  SetAssociations(AllOff());
  ClearRegWriteFaultsForTest();
  EXPECT_TRUE(IsOwnAssociation(".zip"));
  EXPECT_TRUE(NeedsSavedOwner(".zip"));
  EXPECT_FALSE(NeedsSavedOwner(".cab"));
  EXPECT_FALSE(NeedsSavedOwner("Links"));

  SetAssociations(AllOff());
  EXPECT_FALSE(NeedsSavedOwner(".zip"));
  EXPECT_EQ(std::vector<std::string>{},
            test::SnapshotDifferences(before, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip")));
}

TEST_F(AssociationsTest, ExtensionThatDidNotExistIsRemovedOnRelease) {
  struct Row {
    const char* name;
    const char* otherKey;   // another program's, written after setup, or null
    const char* otherName;  // its value
  };
  const Row rows[] = {
      {"nothing below", nullptr, nullptr},
      {"another program's subkey below", ".cab\\OpenWithProgids", "OtherCab"},
      {"another program's value", ".cab", "Content Type"},
      {"another program's new-file entry", ".cab\\ShellNew", "Command"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    SetAssociations(Settings({2}, true));
    EXPECT_EQ(0, ReadNumber(HKEY_CURRENT_USER, Saved(".cab"), "Exist"));
    EXPECT_EQ("", ReadText(HKEY_CURRENT_USER, Saved(".cab"), "Type"));
    EXPECT_EQ("", ReadText(HKEY_CURRENT_USER, Saved(".cab"), "Content"));
    EXPECT_EQ("", ReadText(HKEY_CURRENT_USER, Saved(".cab"), "ShellNew"));
    EXPECT_EQ("Korvik", ReadText(HKEY_CLASSES_ROOT, ".cab", ""));
    if (row.otherKey) WriteText(HKEY_CLASSES_ROOT, row.otherKey, row.otherName, "other");

    SetAssociations(AllOff());

    if (row.otherKey) {
      // The key stays for what another program keeps there; the product's
      // default value goes.
      EXPECT_EQ("<absent>", ReadText(HKEY_CLASSES_ROOT, ".cab", ""));
      EXPECT_EQ("other", ReadText(HKEY_CLASSES_ROOT, row.otherKey, row.otherName));
    } else {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".cab"));
    }
  }
}

TEST_F(AssociationsTest, SavedTypeNamingAProductIdIsRestoredEmpty) {
  struct Row {
    const char* savedType;
    const char* restored;
  };
  const Row rows[] = {
      {"Korvik", ""},
      {"korvik", ""},
      {"KORVIK.zip", ""},
      {"Korvik.Zip", ""},
      {"Korvik.REV", "Korvik.REV"},
      {"KorvikX", "KorvikX"},
      {"OtherArj", "OtherArj"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.savedType);
    RemoveEverything();
    WriteText(HKEY_CLASSES_ROOT, ".arj", "", "Korvik");
    WriteText(HKEY_CLASSES_ROOT, ".arj", "Content Type", "application/x-arj");
    WriteNumber(HKEY_CURRENT_USER, Saved(".arj"), "Exist", 1);
    WriteText(HKEY_CURRENT_USER, Saved(".arj"), "Type", row.savedType);
    WriteText(HKEY_CURRENT_USER, Saved(".arj"), "Content", "");

    SetAssociations(AllOff());

    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".arj"));
    EXPECT_EQ(row.restored, ReadText(HKEY_CLASSES_ROOT, ".arj", ""));
    // An empty saved content type removes the value.
    EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, ".arj", "Content Type").present);
  }
}

TEST_F(AssociationsTest, OwnExtensionWithoutSavedStateKeepsItsKey) {
  // No saved key: "Exist" reads as 1, so the key stays, with no owner.
  WriteText(HKEY_CLASSES_ROOT, ".tar", "", "KORVIK");
  WriteText(HKEY_CLASSES_ROOT, ".tar", "Content Type", "application/x-tar");
  SetAssociations(AllOff());
  EXPECT_EQ("", ReadText(HKEY_CLASSES_ROOT, ".tar", ""));
  EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, ".tar", "Content Type").present);
}

// An extension another program has taken since keeps everything of that
// program; only the product's own new-file values go (".orv" did not
// exist before, so its new-file key goes with them).
TEST_F(AssociationsTest, ReleaseOfExtensionTakenByAnotherProgramTakesOnlyTheProductsValues) {
  WriteText(HKEY_CLASSES_ROOT, ".ace", "", "OldAce");
  SetAssociations(Settings({0, 5}, true));
  // Another program takes both over after setup.
  WriteText(HKEY_CLASSES_ROOT, ".ace", "", "NewAce");
  WriteText(HKEY_CLASSES_ROOT, ".ace", "Content Type", "application/x-newace");
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".ace"), "NullFile", "");
  WriteText(HKEY_CLASSES_ROOT, ".orv", "", "NewOrv");

  SetAssociations(AllOff());

  EXPECT_EQ("NewAce", ReadText(HKEY_CLASSES_ROOT, ".ace", ""));
  EXPECT_EQ("application/x-newace", ReadText(HKEY_CLASSES_ROOT, ".ace", "Content Type"));
  EXPECT_EQ(std::vector<std::string>{"NullFile"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".ace")));
  EXPECT_EQ("NewOrv", ReadText(HKEY_CLASSES_ROOT, ".orv", ""));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ShellNew(".orv")));
  // The volume extensions still name "Korvik", which the uninstall
  // removes: they go all the same.
  for (int number = 0; number < 30; ++number) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(number))) << Volume(number);
  }
}

// Another program takes ".zip" and ".orv" after setup by their default
// values alone, leaving the product's new-file entries in place (and adds a
// value of its own to one). Neither a second setup nor the release may pass
// the product's template off as a former owner's: afterwards both keys are
// as that program left them, without the product's values and with the
// former new-file entry they had replaced. On both families: the 9x family
// keeps the template image in "Data".
TEST_F(AssociationsTest, ProductsNewFileValuesNeverPassForAnotherOwnersOnEitherFamily) {
  struct Row {
    const char* name;
    const char* version;
    bool secondSetup;
    bool itemName;  // the other program adds "ItemName" to ".zip\ShellNew"
  };
  const Row rows[] = {
      {"NT, second setup", "win7", true, false},
      {"NT, no second setup", "win7", false, false},
      {"NT, second setup, value added", "win7", true, true},
      {"9x, second setup", "win98", true, false},
      {"9x, no second setup, value added", "win98", false, true},
  };
  const std::string probe = "\"" + ProbeFolder() + "\\probe.exe\" associate ";
  const std::string take = probe + "11000000000000 1";
  const std::string release = probe + "00000000000000 1";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    test::ScopedWindowsVersion version("probe.exe", row.version);
    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "NullFile", "");
    ASSERT_EQ(0, test::RunAndWait(take));
    ASSERT_EQ(1u, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")).size());
    const std::string own = ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip"))[0];  // FileName, Data

    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "Y.zip");
    WriteText(HKEY_CLASSES_ROOT, ".orv", "", "Y.orv");
    if (row.itemName) WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "ItemName", "@y.dll,-1");
    test::RegistrySnapshot zip = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip");
    test::RegistrySnapshot orv = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".orv");
    zip.erase(".zip\\ShellNew|" + own);
    zip[".zip\\ShellNew|NullFile"] = test::SnapshotText("");
    orv.erase(".orv\\ShellNew|" + own);
    orv.erase(".orv\\ShellNew\\");

    if (row.secondSetup) {
      ASSERT_EQ(0, test::RunAndWait(take));
      EXPECT_EQ("Y.zip", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "Type"));
      EXPECT_EQ("*", ReadText(HKEY_CURRENT_USER, Saved(".zip"), "ShellNew"));
      EXPECT_EQ(std::vector<std::string>{"NullFile"},
                ValueNames(HKEY_CURRENT_USER, Saved(".zip") + "\\ShellNew"));
      EXPECT_EQ("", ReadText(HKEY_CURRENT_USER, Saved(".orv"), "ShellNew"));
      EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Saved(".orv") + "\\ShellNew"));
      // The value the other program added stays beside the product's.
      std::vector<std::string> values = {own};
      if (row.itemName) values.push_back("ItemName");
      EXPECT_EQ(values, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
    }
    ASSERT_EQ(0, test::RunAndWait(release));

    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(zip, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip")));
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(orv, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".orv")));
  }
}

// A new-file key that holds the product's entry and, since the first setup,
// a value of another program: the next setup keeps that value.
TEST_F(AssociationsTest, SecondSetupKeepsValuesAnotherProgramAddedToTheProductsNewFileKey) {
  PrepareForeignZip();
  SetAssociations(Settings({0, 1}, true));
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "ItemName", "@other.dll,-5");
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".orv"), "IconPath", "C:\\Other\\other.exe,1");

  SetAssociations(Settings({0, 1}, true));

  EXPECT_EQ((std::vector<std::string>{"FileName", "ItemName"}),
            ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
  EXPECT_EQ("@other.dll,-5", ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "ItemName"));
  EXPECT_EQ((std::vector<std::string>{"FileName", "IconPath"}),
            ValueNames(HKEY_CLASSES_ROOT, ShellNew(".orv")));
  // The release takes the product's values and gives the former ones back.
  SetAssociations(AllOff());
  EXPECT_EQ((std::vector<std::string>{"ItemName", "NullFile"}),
            ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
  EXPECT_EQ(std::vector<std::string>{"IconPath"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".orv")));
}

TEST_F(AssociationsTest, TakeOverOfOrvOnNtPointsThirtyVolumeExtensions) {
  // Another program's volume extension (with or without a default value)
  // keeps its owner; one already the product's is taken again.
  WriteText(HKEY_CLASSES_ROOT, Volume(5), "Content Type", "application/x-other");
  WriteText(HKEY_CLASSES_ROOT, Volume(7), "", "OtherVolume");
  WriteText(HKEY_CLASSES_ROOT, Volume(7), "Content Type", "application/x-other");
  WriteText(HKEY_CLASSES_ROOT, Volume(8), "", "KORVIK");
  WriteText(HKEY_CLASSES_ROOT, Volume(8), "Content Type", "application/x-old");
  WriteText(HKEY_CLASSES_ROOT, Volume(30), "", "OtherVolume");
  test::RegistrySnapshot other5 = test::SnapshotRegistry(HKEY_CLASSES_ROOT, Volume(5));
  test::RegistrySnapshot other7 = test::SnapshotRegistry(HKEY_CLASSES_ROOT, Volume(7));

  SetAssociations(Settings({0}, false));

  for (int number = 0; number < 30; ++number) {
    if (number == 5 || number == 7) continue;
    SCOPED_TRACE(Volume(number));
    EXPECT_EQ("Korvik", ReadText(HKEY_CLASSES_ROOT, Volume(number), ""));
    EXPECT_FALSE(ReadRaw(HKEY_CLASSES_ROOT, Volume(number), "Content Type").present);
  }
  EXPECT_EQ(
      std::vector<std::string>{},
      test::SnapshotDifferences(other5, test::SnapshotRegistry(HKEY_CLASSES_ROOT, Volume(5))));
  EXPECT_EQ(
      std::vector<std::string>{},
      test::SnapshotDifferences(other7, test::SnapshotRegistry(HKEY_CLASSES_ROOT, Volume(7))));
  EXPECT_EQ("OtherVolume", ReadText(HKEY_CLASSES_ROOT, Volume(30), ""));
  for (int number = 31; number < 100; ++number) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(number))) << Volume(number);
  }
  // Volume extensions keep no saved state of their own.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Saved(Volume(7).c_str())));

  SetAssociations(AllOff());
  EXPECT_EQ(
      std::vector<std::string>{},
      test::SnapshotDifferences(other7, test::SnapshotRegistry(HKEY_CLASSES_ROOT, Volume(7))));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(8)));
}

// Releasing ".orv" looks at all 100 volume extensions but touches only those
// that still name "Korvik", which are the product's whatever ".orv" held
// before: they go. Another program's are not deleted or rewritten.
TEST_F(AssociationsTest, ReleaseOfOrvTouchesOnlyVolumesStillNamingKorvik) {
  struct Row {
    const char* name;
    bool orvExisted;
    const char* formerType;
    const char* formerContent;
  };
  const Row rows[] = {
      {"no key before", false, "", ""},
      {"key with empty type before", true, "", ""},
      {"key with a former owner", true, "OldOrv", "application/x-oldorv"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    if (row.orvExisted) {
      WriteText(HKEY_CLASSES_ROOT, ".orv", "", row.formerType);
      if (row.formerContent[0] != '\0') {
        WriteText(HKEY_CLASSES_ROOT, ".orv", "Content Type", row.formerContent);
      }
    }
    SetAssociations(Settings({0}, false));
    // After setup: a volume left by a 9x run, another program's volumes
    // (one taken over from the product since), one named in other case.
    WriteText(HKEY_CLASSES_ROOT, Volume(45), "", "Korvik");
    WriteText(HKEY_CLASSES_ROOT, Volume(46), "", "OtherVolume");
    WriteText(HKEY_CLASSES_ROOT, Volume(46), "Content Type", "application/x-other");
    WriteText(HKEY_CLASSES_ROOT, Volume(12), "", "OtherVolume");
    WriteText(HKEY_CLASSES_ROOT, Volume(99), "", "korvik");

    SetAssociations(AllOff());

    for (int number : {0, 11, 13, 29, 45, 99}) {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(number))) << Volume(number);
    }
    EXPECT_EQ("OtherVolume", ReadText(HKEY_CLASSES_ROOT, Volume(12), ""));
    EXPECT_EQ("OtherVolume", ReadText(HKEY_CLASSES_ROOT, Volume(46), ""));
    EXPECT_EQ("application/x-other", ReadText(HKEY_CLASSES_ROOT, Volume(46), "Content Type"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(47)));
  }
}

TEST_F(AssociationsTest, ReleasedVolumeWithOtherSubkeysStopsNamingKorvik) {
  SetAssociations(Settings({0}, false));
  WriteText(HKEY_CLASSES_ROOT, Volume(3) + "\\OpenWithProgids", "OtherVolume", "");
  SetAssociations(AllOff());
  EXPECT_EQ("<absent>", ReadText(HKEY_CLASSES_ROOT, Volume(3), ""));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, Volume(3) + "\\OpenWithProgids"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(4)));
}

TEST_F(AssociationsTest, ShellIntegrationOffLeavesNewFileEntriesAlone) {
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName", "C:\\Templates\\other.zip");
  WriteText(HKEY_CLASSES_ROOT, ShellNew(".orv"), "Command", "other.exe /new");

  SetAssociations(Settings({0, 1}, false));

  EXPECT_EQ("Korvik.ZIP", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
  EXPECT_EQ(std::vector<std::string>{"FileName"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".zip")));
  EXPECT_EQ("C:\\Templates\\other.zip", ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName"));
  EXPECT_EQ(std::vector<std::string>{"Command"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".orv")));
  EXPECT_FALSE(FileExists(TestsFolder() + "\\orvnew.dat"));
  EXPECT_FALSE(FileExists(TestsFolder() + "\\zipnew.dat"));
}

TEST_F(AssociationsTest, OnlyOrvAndZipGetNewFileEntries) {
  SetAssociations(Settings({0, 1, 2, 4, 13}, true));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ShellNew(".orv")));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ShellNew(".zip")));
  for (const char* extension : {".cab", ".lzh", ".lha", ".z", ".taz"}) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ShellNew(extension))) << extension;
  }
  EXPECT_EQ(Bytes(kOrvImage, sizeof kOrvImage), ReadFileBytes(TestsFolder() + "\\orvnew.dat"));
  EXPECT_EQ(TestsFolder() + "\\orvnew.dat",
            ReadText(HKEY_CLASSES_ROOT, ShellNew(".orv"), "FileName"));
}

TEST_F(AssociationsTest, ExistingTemplateFileIsNeverRewritten) {
  const std::string kept = "not an archive \xBD\xBD";
  std::string path = TestsFolder() + "\\zipnew.dat";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, file);
  std::fwrite(kept.data(), 1, kept.size(), file);
  std::fclose(file);

  SetAssociations(Settings({1}, true));
  SetAssociations(Settings({1}, true));

  EXPECT_EQ(kept, ReadFileBytes(path));
  EXPECT_EQ(path, ReadText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "FileName"));
}

TEST_F(AssociationsTest, LzhRowTakesOverEachExtensionWithItsOwnSavedKey) {
  WriteText(HKEY_CLASSES_ROOT, ".lzh", "", "OtherLzh");
  WriteText(HKEY_CLASSES_ROOT, ".lha", "", "OtherLha");
  WriteText(HKEY_CLASSES_ROOT, ".lha", "Content Type", "application/x-lha");

  SetAssociations(Settings({4}, true));

  EXPECT_EQ("Korvik", ReadText(HKEY_CLASSES_ROOT, ".lzh", ""));
  EXPECT_EQ("Korvik", ReadText(HKEY_CLASSES_ROOT, ".lha", ""));
  EXPECT_EQ("OtherLzh", ReadText(HKEY_CURRENT_USER, Saved(".lzh"), "Type"));
  EXPECT_EQ("", ReadText(HKEY_CURRENT_USER, Saved(".lzh"), "Content"));
  EXPECT_EQ("OtherLha", ReadText(HKEY_CURRENT_USER, Saved(".lha"), "Type"));
  EXPECT_EQ("application/x-lha", ReadText(HKEY_CURRENT_USER, Saved(".lha"), "Content"));

  SetAssociations(AllOff());
  EXPECT_EQ("OtherLzh", ReadText(HKEY_CLASSES_ROOT, ".lzh", ""));
  EXPECT_EQ("OtherLha", ReadText(HKEY_CLASSES_ROOT, ".lha", ""));
  EXPECT_EQ("application/x-lha", ReadText(HKEY_CLASSES_ROOT, ".lha", "Content Type"));
}

TEST_F(AssociationsTest, EveryExtensionOfEveryTypeIsTakenAndGivenBack) {
  IntegrationSettings all = AllOff();
  for (std::size_t type = 0; type < kArchiveTypeCount; ++type) all.TypeFlags[type] = 1;
  SetAssociations(all);
  for (const ExpectedExtension& row : kExtensions) {
    SCOPED_TRACE(row.extension);
    EXPECT_EQ(row.programId, ReadText(HKEY_CLASSES_ROOT, row.extension, ""));
    EXPECT_EQ(0, ReadNumber(HKEY_CURRENT_USER, Saved(row.extension), "Exist"));
  }

  SetAssociations(AllOff());
  for (const ExpectedExtension& row : kExtensions) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, row.extension)) << row.extension;
  }
  for (int number = 0; number < 100; ++number) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(number))) << Volume(number);
  }
}

TEST_F(AssociationsTest, EachFlagControlsOnlyItsOwnType) {
  for (std::size_t type = 0; type < kArchiveTypeCount; ++type) {
    SCOPED_TRACE(type);
    RemoveEverything();
    SetAssociations(Settings({type}, false));
    for (const ExpectedExtension& row : kExtensions) {
      EXPECT_EQ(row.type == type, KeyExists(HKEY_CLASSES_ROOT, row.extension)) << row.extension;
    }
  }
}

TEST_F(AssociationsTest, ReleaseOnACleanSystemWritesNothing) {
  WriteText(HKEY_CLASSES_ROOT, ".jar", "", "jarfile");
  SetAssociations(AllOff());
  for (const ExpectedExtension& row : kExtensions) {
    if (std::strcmp(row.extension, ".jar") == 0) continue;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, row.extension)) << row.extension;
  }
  EXPECT_EQ("jarfile", ReadText(HKEY_CLASSES_ROOT, ".jar", ""));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(0)));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSavedRoot));
}

TEST_F(AssociationsTest, IsOwnAssociationByDefaultValue) {
  struct Row {
    const char* name;
    const char* value;  // null: no default value
    bool own;
  };
  const std::string longId(100, 'K');
  const Row rows[] = {
      {"archive id", "Korvik", true},
      {"zip id in other case", "korvik.zip", true},
      {"upper case", "KORVIK", true},
      {"recovery id", "Korvik.REV", false},
      {"longer", "Korvik.ZIPX", false},
      {"prefix", "Korvi", false},
      {"empty", "", false},
      {"absent", nullptr, false},
      {"too long for the test", longId.c_str(), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::DeleteKeyTree(HKEY_CLASSES_ROOT, ".iso");
    WriteText(HKEY_CLASSES_ROOT, ".iso", "Content Type", "application/x-iso");
    if (row.value != nullptr) WriteText(HKEY_CLASSES_ROOT, ".iso", "", row.value);
    EXPECT_EQ(row.own, IsOwnAssociation(".iso"));
  }
  test::DeleteKeyTree(HKEY_CLASSES_ROOT, ".iso");
  EXPECT_FALSE(IsOwnAssociation(".iso"));
}

TEST_F(AssociationsTest, AssociateExtensionRefusesNamesThatDoNotFit) {
  std::string longName = "." + std::string(300, 'q');
  AssociateExtension(longName.c_str(), true, true, false, false);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSavedRoot));
}

// --- Program ids ------------------------------------------------------------

TEST_F(AssociationsTest, RegisterProgramIdsWritesIdsCommandsAndIcons) {
  WriteText(HKEY_CLASSES_ROOT, ".rev", "", "OtherRev");
  WriteText(HKEY_CLASSES_ROOT, "Korvik\\DefaultIcon", "", "C:\\Icons\\mine.ico,3");
  std::string archiver = TestsFolder() + "\\Korvik.exe";
  std::string command = "\"" + archiver + "\" \"%1\"";

  EXPECT_TRUE(RegisterProgramIds());

  struct Row {
    const char* id;
    std::string description;
    std::string icon;
  };
  const Row rows[] = {
      {"Korvik", test::Acp("Korvik 档案文件"), "C:\\Icons\\mine.ico,3"},
      {"Korvik.ZIP", test::Acp("Korvik ZIP 档案文件"), archiver + ",0"},
      {"Korvik.REV", test::Acp("ORV 恢复卷"), archiver + ",1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(row.description, ReadText(HKEY_CLASSES_ROOT, row.id, ""));
    EXPECT_EQ(command,
              ReadText(HKEY_CLASSES_ROOT, std::string(row.id) + "\\shell\\open\\command", ""));
    EXPECT_EQ(row.icon, ReadText(HKEY_CLASSES_ROOT, std::string(row.id) + "\\DefaultIcon", ""));
  }
  EXPECT_EQ("Korvik.REV", ReadText(HKEY_CLASSES_ROOT, ".rev", ""));
  EXPECT_EQ(1, ReadNumber(HKEY_CURRENT_USER, Saved(".rev"), "Exist"));
  EXPECT_EQ("OtherRev", ReadText(HKEY_CURRENT_USER, Saved(".rev"), "Type"));
}

// ".rev" is saved the first time it is taken over and given back on
// release; a record from before that saving gives nothing back, and never
// more than the key alone goes.
TEST_F(AssociationsTest, RecoveryExtensionIsSavedAndGivenBack) {
  struct Row {
    const char* name;
    void (*before)();     // ".rev" before setup
    void (*meanwhile)();  // between setup and release
    bool stays;           // else gone after the release
  };
  auto nothing = [] {};
  auto foreign = [] {
    WriteText(HKEY_CLASSES_ROOT, ".rev", "", "OtherRev.File");
    WriteText(HKEY_CLASSES_ROOT, ".rev", "Content Type", "application/x-rev");
    WriteText(HKEY_CLASSES_ROOT, ".rev\\OpenWithProgids", "OtherRev.File", "");
    WriteText(HKEY_CLASSES_ROOT, ".rev\\PersistentHandler", "", "{other handler}");
  };
  auto setupAgain = [] { RegisterProgramIds(); };
  auto openWith = [] { WriteText(HKEY_CLASSES_ROOT, ".rev\\OpenWithProgids", "Other", ""); };
  auto noRecord = [] { test::DeleteKeyTree(HKEY_CURRENT_USER, Saved(".rev")); };
  const Row rows[] = {
      {"absent", nothing, nothing, false},
      {"another program's", foreign, nothing, true},
      {"another program's, setup twice", foreign, setupAgain, true},
      {"absent, another program's subkey since", nothing, openWith, true},
      {"no record of an earlier setup", nothing, noRecord, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    row.before();
    test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".rev");
    ASSERT_TRUE(RegisterProgramIds());
    ASSERT_EQ("Korvik.REV", ReadText(HKEY_CLASSES_ROOT, ".rev", ""));
    row.meanwhile();
    const char* openWithKey = ".rev\\OpenWithProgids";
    test::RegistrySnapshot meanwhile = test::SnapshotRegistry(HKEY_CLASSES_ROOT, openWithKey);

    ReleaseRecoveryExtension();

    test::RegistrySnapshot after = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".rev");
    if (!row.stays) {
      EXPECT_TRUE(after.empty()) << after.size();
    } else if (before.empty()) {
      EXPECT_EQ("<absent>", ReadText(HKEY_CLASSES_ROOT, ".rev", ""));
      EXPECT_EQ(std::vector<std::string>{},
                test::SnapshotDifferences(meanwhile,
                                          test::SnapshotRegistry(HKEY_CLASSES_ROOT, openWithKey)));
    } else {
      EXPECT_EQ(std::vector<std::string>{}, test::SnapshotDifferences(before, after));
    }
  }
}

// An icon of another program stays; one naming a "Korvik.exe" that is gone
// (a setup in another folder before) is rewritten.
TEST_F(AssociationsTest, RegisterProgramIdsRewritesOnlyAnIconOfAVanishedArchiver) {
  const std::string archiver = TestsFolder() + "\\Korvik.exe";
  const std::string elsewhere = "C:\\KorvikTests\\icon-elsewhere";
  test::MakeFolders(elsewhere);
  ASSERT_TRUE(test::WriteWholeFile(elsewhere + "\\Korvik.exe", "another installation"));
  struct Row {
    std::string before;
    bool rewritten;
  };
  const Row rows[] = {
      {"", true},
      {"C:\\Gone\\Korvik.exe,0", true},
      {"\"C:\\Gone Away\\korvik.EXE\",1", true},
      {"C:\\Gone,Away\\Korvik.exe,-101", true},
      {elsewhere + "\\Korvik.exe,2", false},
      {"C:\\Icons\\mine.ico,3", false},
      {"C:\\Gone\\Other.exe,0", false},
      {"Korvik.exe,0", false},
      {"%ProgramFiles%\\Gone\\Korvik.exe,0", false},
      {"\\\\server\\share\\Korvik.exe,0", false},
      {"C:\\Gone\\Korvik.exe", true},
      {"\"C:\\Gone\\Korvik.exe,0", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.before);
    for (const char* id : {"Korvik", "Korvik.REV"}) {
      std::string key = std::string(id) + "\\DefaultIcon";
      if (!row.before.empty()) WriteText(HKEY_CLASSES_ROOT, key, "", row.before);
    }
    EXPECT_TRUE(RegisterProgramIds());
    EXPECT_EQ(row.rewritten ? archiver + ",0" : row.before,
              ReadText(HKEY_CLASSES_ROOT, "Korvik\\DefaultIcon", ""));
    EXPECT_EQ(row.rewritten ? archiver + ",1" : row.before,
              ReadText(HKEY_CLASSES_ROOT, "Korvik.REV\\DefaultIcon", ""));
    RemoveEverything();
  }
  test::RemoveTree("C:\\KorvikTests\\icon-elsewhere");
}

TEST_F(AssociationsTest, RegisterProgramIdsStopsOnlyWhenAccessIsDenied) {
  struct Row {
    const char* name;
    HKEY faultRoot;
    LONG status;
    bool result;
    bool written;
  };
  const Row rows[] = {
      {"access denied", HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED, false, false},
      {"another failure", HKEY_CLASSES_ROOT, ERROR_WRITE_FAULT, true, false},
      {"denied elsewhere", HKEY_LOCAL_MACHINE, ERROR_ACCESS_DENIED, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RemoveEverything();
    SetRegWriteFaultForTest(row.faultRoot, row.status);
    bool result = RegisterProgramIds();
    ClearRegWriteFaultsForTest();
    EXPECT_EQ(row.result, result);
    for (const char* key : {"Korvik", "Korvik.ZIP", "Korvik.REV", ".rev"}) {
      EXPECT_EQ(row.written, KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
  }
}

// --- Both platform families -----------------------------------------------

// probe.exe runs SetAssociations under each Windows version; its templates
// lie beside it.
TEST_F(AssociationsTest, NewFileEntryAndVolumesFollowTheWindowsVersion) {
  struct Row {
    const char* version;
    bool fileForm;
    int volumes;
  };
  const Row rows[] = {
      {"win98", false, 100}, {"winme", true, 100}, {"nt40", false, 30},
      {"win2k", true, 30},   {"win7", true, 30},
  };
  std::string probe = "\"" + ProbeFolder() + "\\probe.exe\" associate 11000000000000 1";
  std::string release = "\"" + ProbeFolder() + "\\probe.exe\" associate 00000000000000 1";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    RemoveEverything();
    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    {
      test::ScopedWindowsVersion version("probe.exe", row.version);
      ASSERT_EQ(0, test::RunAndWait(probe));
    }
    struct Template {
      const char* extension;
      const char* file;
      std::string image;
    };
    const Template templates[] = {
        {".orv", "\\orvnew.dat", Bytes(kOrvImage, sizeof kOrvImage)},
        {".zip", "\\zipnew.dat", Bytes(kZipImage, sizeof kZipImage)},
    };
    for (const Template& t : templates) {
      SCOPED_TRACE(t.extension);
      std::string path = ProbeFolder() + t.file;
      if (row.fileForm) {
        EXPECT_EQ(std::vector<std::string>{"FileName"},
                  ValueNames(HKEY_CLASSES_ROOT, ShellNew(t.extension)));
        EXPECT_EQ(path, ReadText(HKEY_CLASSES_ROOT, ShellNew(t.extension), "FileName"));
        EXPECT_EQ(t.image, ReadFileBytes(path));
      } else {
        EXPECT_EQ(std::vector<std::string>{"Data"},
                  ValueNames(HKEY_CLASSES_ROOT, ShellNew(t.extension)));
        RawValue data = ReadRaw(HKEY_CLASSES_ROOT, ShellNew(t.extension), "Data");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), data.type);
        EXPECT_EQ(t.image, data.data);
        EXPECT_FALSE(FileExists(path));
      }
    }
    for (int number = 0; number < 100; ++number) {
      EXPECT_EQ(number < row.volumes ? "Korvik" : "<absent>",
                ReadText(HKEY_CLASSES_ROOT, Volume(number), ""))
          << Volume(number);
    }

    // Another program's entries below ".orv", which did not exist before:
    // the key stays for them on either family, the product's values go.
    WriteText(HKEY_CLASSES_ROOT, ShellNew(".orv"), "Command", "other.exe /new");
    WriteText(HKEY_CLASSES_ROOT, ".orv\\PersistentHandler", "", "{other}");

    // The release gives ".zip" back and takes the new-file key the product
    // made, "Data" included; ".orv" loses its volume extensions.
    {
      test::ScopedWindowsVersion version("probe.exe", row.version);
      ASSERT_EQ(0, test::RunAndWait(release));
    }
    EXPECT_EQ("OtherZip", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ShellNew(".zip")));
    EXPECT_EQ(std::vector<std::string>{}, ValueNames(HKEY_CLASSES_ROOT, ".orv"));
    EXPECT_EQ(std::vector<std::string>{"Command"}, ValueNames(HKEY_CLASSES_ROOT, ShellNew(".orv")));
    EXPECT_EQ("{other}", ReadText(HKEY_CLASSES_ROOT, ".orv\\PersistentHandler", ""));
    for (int number = 0; number < 100; ++number) {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(number))) << Volume(number);
    }
  }
}

// The 9x family has the registry's "W" calls only as stubs that fail with
// 120; probe.exe makes them fail so. A silent setup there still takes over
// ".zip" and keeps its former new-file values, and the release gives them
// back whole.
TEST_F(AssociationsTest, NineXFamilyKeepsAFormerNewFileEntryWithoutTheWideCalls) {
  const std::string take = "\"" + ProbeFolder() + "\\probe.exe\" associate 01000000000000 1 nowide";
  const std::string release =
      "\"" + ProbeFolder() + "\\probe.exe\" associate 00000000000000 1 nowide";
  const std::string chinese = test::Acp("新建压缩文件");
  for (const char* version : {"win98", "winme"}) {
    SCOPED_TRACE(version);
    RemoveEverything();
    WriteText(HKEY_CLASSES_ROOT, ".zip", "", "OtherZip");
    WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "NullFile", "");
    WriteText(HKEY_CLASSES_ROOT, ShellNew(".zip"), "ItemName", chinese);
    WriteNumber(HKEY_CLASSES_ROOT, ShellNew(".zip"), "Flags", 7);
    const test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip");
    test::ScopedWindowsVersion windows("probe.exe", version);

    ASSERT_EQ(0, test::RunAndWait(take));

    EXPECT_EQ("Korvik.ZIP", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_EQ((std::vector<std::string>{"Flags", "ItemName", "NullFile"}),
              ValueNames(HKEY_CURRENT_USER, Saved(".zip") + "\\ShellNew"));
    EXPECT_EQ(chinese, ReadText(HKEY_CURRENT_USER, Saved(".zip") + "\\ShellNew", "ItemName"));

    ASSERT_EQ(0, test::RunAndWait(release));

    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(before, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip")));
  }
}

}  // namespace
