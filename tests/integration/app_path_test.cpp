#include "integration/app_path.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "platform/registry.h"
#include "support/registry_support.h"
#include "support/test_support.h"

namespace {

// Spelled out here rather than taken from the header, so that a wrong name
// there shows.
constexpr char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvik.exe";
const std::string kGarbage(40, '\xBD');

using test::RawValue;

// The key's values and the key itself.
RawValue ReadRaw(const char* name) { return test::ReadRaw(HKEY_LOCAL_MACHINE, kKey, name); }
void WriteRaw(const char* name, const std::string& text, test::CallSite site = test::Here()) {
  test::WriteText(HKEY_LOCAL_MACHINE, kKey, name, text, 0, site);
}
bool KeyExists() { return test::KeyExists(HKEY_LOCAL_MACHINE, kKey); }

// Both values, as REG_SZ texts stored with their terminator.
void ExpectRegistered(const std::string& archiver, const std::string& folder) {
  RawValue value = ReadRaw("");
  EXPECT_EQ(ERROR_SUCCESS, value.status);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
  EXPECT_EQ(archiver + '\0', value.data);
  value = ReadRaw("Path");
  EXPECT_EQ(ERROR_SUCCESS, value.status);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
  EXPECT_EQ(folder + '\0', value.data);
}

// Where the probe's copies run: a drive root and folders with spaces.
constexpr char kProbeName[] = "korvik-app-path-probe.exe";
const char* const kProbeFolders[] = {"C:\\", "C:\\Korvik app path\\", "C:\\Korvik app path\\sub\\"};

class AppPathTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override {
    Clean();
    RemoveProbeCopies();
  }

  static void Clean() {
    test::ResetRegistrySeams();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
  }

  static void RemoveProbeCopies() {
    for (const char* folder : kProbeFolders) {
      DeleteFileA((std::string(folder) + kProbeName).c_str());
    }
    RemoveDirectoryA("C:\\Korvik app path\\sub");
    RemoveDirectoryA("C:\\Korvik app path");
  }
};

TEST_F(AppPathTest, NamesKorvikExeBesideTheProgramAndItsFolder) {
  WriteRaw("", kGarbage);
  WriteRaw("Path", kGarbage);

  EXPECT_TRUE(RegisterAppPath());

  const std::string folder = test::ExeFolder();  // below the drive's root
  ExpectRegistered(folder + "\\Korvik.exe", folder);
}

// probe.exe, copied into each folder, runs the operation there: the paths
// come from the program's own location.
TEST_F(AppPathTest, PathKeepsTheBackslashOnlyAtADriveRoot) {
  struct Row {
    const char* archiver;
    const char* path;
  };
  const Row rows[] = {
      {"C:\\Korvik.exe", "C:\\"},
      {"C:\\Korvik app path\\Korvik.exe", "C:\\Korvik app path"},
      {"C:\\Korvik app path\\sub\\Korvik.exe", "C:\\Korvik app path\\sub"},
  };
  static_assert(sizeof rows / sizeof rows[0] == sizeof kProbeFolders / sizeof kProbeFolders[0],
                "one row per folder");
  RemoveProbeCopies();
  const std::string probe = test::ExeFolder() + "\\helpers\\probe.exe";
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(kProbeFolders[i]);
    Clean();
    CreateDirectoryA(kProbeFolders[i], nullptr);
    const std::string copy = kProbeFolders[i] + std::string(kProbeName);
    ASSERT_TRUE(CopyFileA(probe.c_str(), copy.c_str(), FALSE));

    EXPECT_EQ(1, test::RunAndWait("\"" + copy + "\" apppath"));
    ExpectRegistered(row.archiver, row.path);
  }
}

// Status 5 on the first write means no rights to integrate; any other
// refusal is ignored.
TEST_F(AppPathTest, OnlyAccessDeniedOnTheMachineKeyGivesFalseAndWritesNothing) {
  struct Row {
    const char* name;
    HKEY root;
    LONG status;
    bool result;
    bool written;
  };
  const Row rows[] = {
      {"access denied", HKEY_LOCAL_MACHINE, ERROR_ACCESS_DENIED, false, false},
      {"another refusal", HKEY_LOCAL_MACHINE, ERROR_INVALID_HANDLE, true, false},
      {"denied elsewhere", HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED, true, true},
  };
  const std::string folder = test::ExeFolder();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Clean();
    SetRegWriteFaultForTest(row.root, row.status);

    EXPECT_EQ(row.result, RegisterAppPath());

    ClearRegWriteFaultsForTest();
    if (row.written) {
      ExpectRegistered(folder + "\\Korvik.exe", folder);
    } else {
      EXPECT_FALSE(KeyExists());
    }
  }
}

}  // namespace
