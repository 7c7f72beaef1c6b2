#include "integration/uninstall_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "localization/messages.h"
#include "support/localization_support.h"
#include "support/test_support.h"

namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvik archiver";
const std::string kGarbage(40, '\xBD');

using test::RawValue;

RawValue ReadRaw(const std::string& keyName, const char* name) {
  return test::ReadRaw(HKEY_LOCAL_MACHINE, keyName, name);
}

// The earlier contents a second run must replace: every value of the wrong
// type and data.
void WriteGarbage() {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE,
                                           nullptr, &key, nullptr));
  for (const char* name : {"DisplayName", "UninstallString", "DisplayIcon", "QuietUninstallString",
                           "InstallLocation", "Publisher", "DisplayVersion"}) {
    RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(kGarbage.data()),
                   static_cast<DWORD>(kGarbage.size()));
  }
  for (const char* name : {"NoModify", "NoRepair", "EstimatedSize"}) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kGarbage.c_str()),
                   static_cast<DWORD>(kGarbage.size() + 1));
  }
  RegCloseKey(key);
}

std::string ProgramPath() {
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

void ExpectText(const char* name, const std::string& text) {
  SCOPED_TRACE(name);
  RawValue value = ReadRaw(kKey, name);
  EXPECT_EQ(ERROR_SUCCESS, value.status);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
  EXPECT_EQ(test::Utf8(text + '\0'), test::Utf8(value.data));
}

void ExpectNumber(const char* name, DWORD number) {
  SCOPED_TRACE(name);
  RawValue value = ReadRaw(kKey, name);
  EXPECT_EQ(ERROR_SUCCESS, value.status);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value.type);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&number), 4), value.data);
}

// The version the program's own resource gives.
constexpr char kOwnVersion[] = "1.0.0.0";

// The entry of the program at path (not quoted), with "Korvik.exe" beside it
// of the given version.
void ExpectEntry(const std::string& displayName, const std::string& program,
                 const std::string& version = kOwnVersion) {
  const std::string folder = program.substr(0, program.rfind('\\'));
  ExpectText("DisplayName", displayName);
  ExpectText("UninstallString", "\"" + program + "\"");
  ExpectText("DisplayIcon", folder + "\\Korvik.exe");
  ExpectNumber("NoModify", 1);
  ExpectNumber("NoRepair", 1);
  ExpectText("QuietUninstallString", "\"" + program + "\" /quiet");
  ExpectText("InstallLocation", folder);
  ExpectText("Publisher", "Korvik");
  ExpectText("DisplayVersion", version);
}

// How many entries of the list of installed programs show this name.
int EntriesNamed(const std::string& displayName) {
  int count = 0;
  for (const std::string& name : test::SubKeyNames(HKEY_LOCAL_MACHINE, kUninstallKey)) {
    RawValue value = ReadRaw(std::string(kUninstallKey) + "\\" + name, "DisplayName");
    if (value.status == ERROR_SUCCESS && value.data == displayName + '\0') ++count;
  }
  return count;
}

// An installation folder with spaces, for a copy of probe.exe.
constexpr char kSpacedRoot[] = "C:\\Korvik entry test";
constexpr char kSpacedFolder[] = "C:\\Korvik entry test\\Korvik archiver";
constexpr char kSpacedProgram[] = "C:\\Korvik entry test\\Korvik archiver\\uninstall probe.exe";

class UninstallEntryTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override {
    extResource.Unload();  // back to the built-in texts
    Clean();
  }

  static void Clean() {
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, kKey);
    test::RemoveTree(kSpacedRoot);
  }
};

TEST_F(UninstallEntryTest, WritesTheValuesOverWhateverWasThere) {
  WriteGarbage();

  RegisterUninstallEntry();

  ExpectEntry(test::Acp("Korvik 压缩专家"), ProgramPath());
  // No list beside the test program: no size to tell, and the old one goes.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRaw(kKey, "EstimatedSize").status);
}

TEST_F(UninstallEntryTest, SecondRunRewritesTheSameEntryInPlace) {
  const std::string name = test::Acp("Korvik 压缩专家");
  RegisterUninstallEntry();
  WriteGarbage();

  RegisterUninstallEntry();

  ExpectEntry(name, ProgramPath());
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key));
  DWORD subKeys = 99;
  DWORD values = 99;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  EXPECT_EQ(0u, subKeys);
  EXPECT_EQ(9u, values);  // and no "EstimatedSize" without a list
  EXPECT_EQ(1, EntriesNamed(name));
}

TEST_F(UninstallEntryTest, DisplayNameFollowsTheLanguage) {
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));

  RegisterUninstallEntry();

  ExpectText("DisplayName", "Korvik archiver");
}

// "UninstallString" is the program's path in double quotes: unquoted, the
// system would try "C:\Korvik.exe" first for this one. The version is the
// archiver's; the size counts the listed files only, in KiB rounded up.
TEST_F(UninstallEntryTest, PathWithSpacesIsStoredQuotedWithTheArchiversVersionAndSize) {
  CreateDirectoryA(kSpacedRoot, nullptr);
  CreateDirectoryA(kSpacedFolder, nullptr);
  const std::string folder = kSpacedFolder;
  const std::string probe = test::ExeFolder() + "\\helpers\\probe.exe";
  ASSERT_TRUE(CopyFileA(probe.c_str(), kSpacedProgram, FALSE));
  ASSERT_TRUE(CopyFileA(test::WindowsPath(KORVIK_STANDIN_EXE).c_str(),
                        (folder + "\\Korvik.exe").c_str(), FALSE));
  CreateDirectoryA((folder + "\\Sub").c_str(), nullptr);
  ASSERT_TRUE(test::WriteWholeFile(folder + "\\a.bin", std::string(1000, 'a')));
  ASSERT_TRUE(test::WriteWholeFile(folder + "\\Sub\\b.bin", std::string(1049, 'b')));
  ASSERT_TRUE(
      test::WriteWholeFile(std::string(kSpacedRoot) + "\\outside.bin", std::string(5000, 'o')));
  ASSERT_TRUE(test::WriteWholeFile(folder + "\\Uninstall.lst",
                                   "a.bin\r\nSub\r\nSub\\b.bin  \r\n..\\outside.bin\r\n"
                                   "missing.bin\r\n\r\n"));

  EXPECT_EQ(0, test::RunAndWait(std::string("\"") + kSpacedProgram + "\" uninstallentry"));

  ExpectEntry(test::Acp("Korvik 压缩专家"), kSpacedProgram, "7.2.0.15");
  ExpectNumber("EstimatedSize", 3);  // 2,049 bytes
}

}  // namespace
