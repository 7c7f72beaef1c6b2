#include "integration/templates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr char kNewFileKey[] = ".korviktest\\ShellNew";  // under HKEY_CLASSES_ROOT
constexpr char kExtensionKey[] = ".korviktest";

const unsigned char kOrvImage[] = {0x4F, 0x72, 0x76, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                                   0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const unsigned char kZipImage[] = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0,
                                   0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0};

std::string Bytes(const unsigned char* bytes, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

std::string ReadFileBytes(const std::string& path) { return test::ReadWholeFile(path); }

// The test's keys, under HKEY_CLASSES_ROOT.
void WriteText(const char* path, const char* name, const char* text,
               test::CallSite site = test::Here()) {
  test::WriteText(HKEY_CLASSES_ROOT, path, name, text, 0, site);
}
std::vector<std::string> ValueNames(const char* path) {
  return test::ValueNames(HKEY_CLASSES_ROOT, path);
}
std::string ReadText(const char* path, const char* name) {
  return test::ReadText(HKEY_CLASSES_ROOT, path, name);
}

std::string TemplatePath(const char* name) { return test::ExeFolder() + "\\" + name; }

void RemoveAll() {
  test::DeleteKeyTree(HKEY_CLASSES_ROOT, kExtensionKey);
  DeleteFileA(TemplatePath("orvnew.dat").c_str());
  DeleteFileA(TemplatePath("zipnew.dat").c_str());
}

class TemplatesTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveAll(); }
  void TearDown() override { RemoveAll(); }
};

struct Row {
  const char* name;
  ArchiveTemplate which;
  const char* fileName;
  std::string image;
};

std::vector<Row> Rows() {
  return {
      {"orv", ArchiveTemplate::Orv, "orvnew.dat", Bytes(kOrvImage, sizeof kOrvImage)},
      {"zip", ArchiveTemplate::Zip, "zipnew.dat", Bytes(kZipImage, sizeof kZipImage)},
  };
}

TEST(TemplateImageTest, HoldsTheCompleteImage) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    std::size_t size;
    std::memset(&size, 0xBD, sizeof size);
    const unsigned char* image = TemplateImage(row.which, &size);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(row.image, Bytes(image, size));
    EXPECT_STREQ(row.fileName, TemplateFileName(row.which));
  }
}

// The program's data keeps each image with its first byte zero, so no
// built program file carries a whole signature. probe.exe links the same
// code as uninstall.exe.
TEST(TemplateImageTest, ProgramFileHoldsNoCompleteSignature) {
  std::string program = ReadFileBytes(test::ExeFolder() + "\\helpers\\probe.exe");
  ASSERT_GT(program.size(), 10000u);
  std::size_t size = 0;
  // The ORV signature is 7 bytes, the ZIP record's 4.
  std::string orv = Bytes(TemplateImage(ArchiveTemplate::Orv, &size), 7);
  std::string zip = Bytes(TemplateImage(ArchiveTemplate::Zip, &size), 4);
  for (const std::string& whole : {orv, zip}) {
    SCOPED_TRACE(whole.substr(1, 1));
    EXPECT_EQ(std::string::npos, program.find(whole));
    // What the program does hold: the image with its first byte zero.
    std::string stored = whole;
    stored[0] = '\0';
    EXPECT_NE(std::string::npos, program.find(stored));
  }
}

TEST_F(TemplatesTest, FileFormReplacesTheValuesAndNamesANewTemplateFile) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    RemoveAll();
    WriteText(kNewFileKey, "NullFile", "");
    WriteText(kNewFileKey, "Command", "other.exe /new");
    WriteText(kExtensionKey, "", "KeepMe");
    WriteText((std::string(kNewFileKey) + "\\Config").c_str(), "NoExtension", "");

    WriteNewFileEntry(kNewFileKey, row.which, true);

    EXPECT_EQ(std::vector<std::string>{"FileName"}, ValueNames(kNewFileKey));
    // A subkey is not the product's to delete.
    EXPECT_EQ("", ReadText((std::string(kNewFileKey) + "\\Config").c_str(), "NoExtension"));
    EXPECT_EQ(TemplatePath(row.fileName), ReadText(kNewFileKey, "FileName"));
    EXPECT_EQ(row.image, ReadFileBytes(TemplatePath(row.fileName)));
    EXPECT_EQ("KeepMe", ReadText(kExtensionKey, ""));
  }
}

TEST_F(TemplatesTest, ExistingTemplateIsNeitherRewrittenNorExamined) {
  const std::string contents[] = {"", "garbage \xBD\xBD\xBD", std::string(5000, 'x')};
  for (const Row& row : Rows()) {
    for (const std::string& content : contents) {
      SCOPED_TRACE(std::string(row.name) + " " + std::to_string(content.size()));
      RemoveAll();
      std::string path = TemplatePath(row.fileName);
      FILE* file = std::fopen(path.c_str(), "wb");
      ASSERT_NE(nullptr, file);
      std::fwrite(content.data(), 1, content.size(), file);
      std::fclose(file);

      WriteNewFileEntry(kNewFileKey, row.which, true);

      EXPECT_EQ(content, ReadFileBytes(path));
      EXPECT_EQ(path, ReadText(kNewFileKey, "FileName"));
    }
  }
}

TEST_F(TemplatesTest, FolderInThePlaceOfTheTemplateIsLeftAlone) {
  // Anything of the template's name counts as the template.
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    RemoveAll();
    std::string path = TemplatePath(row.fileName);
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    WriteNewFileEntry(kNewFileKey, row.which, true);
    EXPECT_EQ(path, ReadText(kNewFileKey, "FileName"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(RemoveDirectoryA(path.c_str()));
  }
}

// A key that holds the product's entry is the product's: at the next setup
// only its own values are replaced, and what another program added since
// stays. A former owner's values go only when the caller has just saved
// them.
TEST_F(TemplatesTest, NextSetupReplacesOnlyTheProductsOwnValues) {
  struct Case {
    const char* name;
    bool ownEntry;          // the key holds the product's "FileName" first
    bool formerOwnerSaved;  // the caller saved the key's values just now
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"product's key, extension still its own", true, false, {"FileName", "ItemName"}},
      {"product's key, type taken by another program", true, true, {"FileName", "ItemName"}},
      {"former owner's key, saved just now", false, true, {"FileName"}},
      {"former owner's key, saved at an earlier setup", false, false, {"FileName", "ItemName"}},
  };
  for (const Row& row : Rows()) {
    for (const Case& each : cases) {
      SCOPED_TRACE(std::string(row.name) + ", " + each.name);
      RemoveAll();
      if (each.ownEntry) WriteText(kNewFileKey, "FileName", TemplatePath(row.fileName).c_str());
      WriteText(kNewFileKey, "ItemName", "@C:\\Other\\other.dll,-7");
      WriteText((std::string(kNewFileKey) + "\\Config").c_str(), "NoExtension", "");

      WriteNewFileEntry(kNewFileKey, row.which, each.formerOwnerSaved);

      EXPECT_EQ(each.values, ValueNames(kNewFileKey));
      EXPECT_EQ(TemplatePath(row.fileName), ReadText(kNewFileKey, "FileName"));
      EXPECT_EQ("", ReadText((std::string(kNewFileKey) + "\\Config").c_str(), "NoExtension"));
    }
  }
}

TEST_F(TemplatesTest, OwnTemplateFileIsTheOneBesideTheProgramInAnyLetterCase) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    std::string own = TemplatePath(row.fileName);
    std::string upper = own;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    std::string other =
        TemplatePath(row.which == ArchiveTemplate::Orv ? "zipnew.dat" : "orvnew.dat");
    EXPECT_TRUE(IsOwnTemplateFile(own.c_str(), row.which));
    EXPECT_TRUE(IsOwnTemplateFile(upper.c_str(), row.which));
    EXPECT_FALSE(IsOwnTemplateFile(other.c_str(), row.which));
    EXPECT_FALSE(IsOwnTemplateFile(("C:\\Other\\" + std::string(row.fileName)).c_str(), row.which));
    EXPECT_FALSE(IsOwnTemplateFile("", row.which));
  }
}

// Only what WriteNewFileEntry writes is removed: the template's own file
// name (in any letter case) and its own image in "Data".
TEST_F(TemplatesTest, RemoveOwnNewFileValuesTakesOnlyTheProductsValues) {
  struct Value {
    const char* name;
    DWORD type;
    std::string data;
    bool removed;
  };
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    std::string own = TemplatePath(row.fileName);
    std::string upper = own;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    std::string otherImage = Rows()[row.which == ArchiveTemplate::Orv ? 1 : 0].image;
    const std::vector<Value> cases[] = {
        {{"FileName", REG_SZ, own + '\0', true}, {"Command", REG_SZ, own + '\0', false}},
        {{"FileName", REG_SZ, upper + '\0', true}},
        {{"FileName", REG_SZ, "C:\\Other\\" + std::string(row.fileName) + '\0', false}},
        {{"Data", REG_BINARY, row.image, true}, {"NullFile", REG_SZ, std::string(1, '\0'), false}},
        {{"Data", REG_BINARY, row.image + '\0', false}},
        {{"Data", REG_BINARY, otherImage, false}},
        {{"Data", REG_NONE, row.image, false}},
    };
    for (const std::vector<Value>& values : cases) {
      SCOPED_TRACE(values[0].name + std::string(" ") + test::Utf8(values[0].data));
      RemoveAll();
      std::vector<std::string> kept;
      for (const Value& value : values) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, kNewFileKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegSetValueExA(key, value.name, 0, value.type,
                       reinterpret_cast<const BYTE*>(value.data.data()),
                       static_cast<DWORD>(value.data.size()));
        RegCloseKey(key);
        if (!value.removed) kept.push_back(value.name);
      }

      RemoveOwnNewFileValues(kNewFileKey, row.which);

      EXPECT_EQ(kept, ValueNames(kNewFileKey));
    }
  }
}

}  // namespace
