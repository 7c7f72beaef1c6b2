#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/registry_support.h"
#include "support/test_support.h"

namespace {

constexpr char kProductKey[] = "Software\\Korvik";
constexpr char kOtherProductKey[] = "Software\\KorvikOther";
constexpr char kOutsideKey[] = "Software\\KorvikOutside";
constexpr char kClassesKey[] = "KorvikTest";            // under HKEY_CLASSES_ROOT
constexpr char kMachineKey[] = "Software\\KorvikTest";  // under HKEY_LOCAL_MACHINE
// Also under HKEY_LOCAL_MACHINE, outside the keys WOW64 redirects.
constexpr char kMachineLinksKey[] = "System\\KorvikTest";
constexpr char kTestClassKey[] = "CLSID\\{6E0C2B9A-41D7-4F3E-9A85-C3D1B27F5E10}";
// Registry links the tests make, below HKEY_CURRENT_USER.
constexpr const char* kLinks[] = {"Software\\Korvik\\Linked", "Software\\Korvik\\Settings\\Linked",
                                  "Software\\Korvik"};

// --- Raw access, independent of the layer under test ----------------------

using test::DeleteKeyTree;
using test::DeleteValue;
using test::IsWow64;
using test::KeyExists;
using test::RawValue;
using test::ReadRaw;
using test::WriteRaw;

// Creates (or opens) the keys of parts one below the other, each relative to
// the one before, so that the whole path may be longer than Wine takes.
bool CreateChain(HKEY root, const std::vector<std::string>& parts) {
  HKEY parent = root;
  bool created = true;
  for (const std::string& part : parts) {
    HKEY key;
    created = RegCreateKeyExA(parent, part.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr) == ERROR_SUCCESS;
    if (parent != root) RegCloseKey(parent);
    if (!created) break;
    parent = key;
  }
  if (created && parent != root) RegCloseKey(parent);
  return created;
}

bool ChainExists(HKEY root, const std::vector<std::string>& parts) {
  HKEY parent = root;
  bool opened = true;
  for (const std::string& part : parts) {
    HKEY key;
    opened = RegOpenKeyExA(parent, part.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (parent != root) RegCloseKey(parent);
    if (!opened) break;
    parent = key;
  }
  if (opened && parent != root) RegCloseKey(parent);
  return opened;
}

// Bytes from `from` up to `end` still hold the garbage they were filled with.
testing::AssertionResult UntouchedFrom(const char* buffer, std::size_t from, std::size_t end) {
  for (std::size_t i = from; i < end; ++i) {
    if (buffer[i] != test::kGarbage) {
      return testing::AssertionFailure() << "byte " << i << " was written";
    }
  }
  return testing::AssertionSuccess();
}

// --- Fixture --------------------------------------------------------------

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }

  static void Clean() {
    test::ResetRegistrySeams();
    for (const char* link : kLinks) test::DeleteRegistryLink(link);  // before anything follows them
    DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kOtherProductKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kOutsideKey);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kClassesKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kMachineKey);
    test::DeleteRegistryLink(HKEY_LOCAL_MACHINE, std::string(kMachineLinksKey) + "\\Linked");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kMachineLinksKey);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_64KEY);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_32KEY);
  }

  static std::string UnderProduct(const std::string& spec) {
    return spec.empty() ? kProductKey : std::string(kProductKey) + "\\" + spec;
  }
};

// Turns the 64-bit view off again however a test ends.
struct ScopedView64 {
  ScopedView64() { SetRegView64(true); }
  ~ScopedView64() { SetRegView64(false); }
};

// --- Paths ----------------------------------------------------------------

TEST_F(RegistryTest, MakeRegPathByRootAndSpecification) {
  struct Row {
    HKEY root;
    std::string spec;
    std::size_t size;
    bool accepted;
    std::string path;
  };
  const std::string a236(236, 'a');
  const std::string a237(237, 'a');
  const Row rows[] = {
      {HKEY_CURRENT_USER, "Setup\\.zip", kRegPathSize, true, "Software\\Korvik\\Setup\\.zip"},
      {HKEY_CURRENT_USER, "", kRegPathSize, true, "Software\\Korvik"},
      {HKEY_CURRENT_USER, "\\Software\\KorvikOther", kRegPathSize, true, "Software\\KorvikOther"},
      {HKEY_CURRENT_USER, "\\", kRegPathSize, true, ""},
      {HKEY_CLASSES_ROOT, ".zip", kRegPathSize, true, ".zip"},
      {HKEY_CLASSES_ROOT, "\\.zip", kRegPathSize, true, "\\.zip"},
      {HKEY_CLASSES_ROOT, "", kRegPathSize, true, ""},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes", kRegPathSize, true, "SOFTWARE\\Classes"},
      {HKEY_CURRENT_USER, a236, kRegPathSize, true, "Software\\Korvik\\" + a236},
      {HKEY_CURRENT_USER, a237, kRegPathSize, false, ""},
      {HKEY_CURRENT_USER, "\\" + std::string(235, 'a'), kRegPathSize, true, std::string(235, 'a')},
      {HKEY_CURRENT_USER, "\\" + a236, kRegPathSize, false, ""},
      {HKEY_CLASSES_ROOT, a236, kRegPathSize, true, a236},
      {HKEY_CLASSES_ROOT, a237, kRegPathSize, false, ""},
      // The limit follows the buffer: 20 characters less than its size.
      {HKEY_CURRENT_USER, std::string(20, 'b'), 40, true,
       "Software\\Korvik\\" + std::string(20, 'b')},
      {HKEY_CURRENT_USER, std::string(21, 'b'), 40, false, ""},
      {HKEY_CLASSES_ROOT, "x", 20, false, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spec + " in " + std::to_string(row.size));
    char path[kRegPathSize + 64];
    std::memset(path, test::kGarbage, sizeof path);
    EXPECT_EQ(row.accepted, MakeRegPath(row.root, row.spec.c_str(), path, row.size));
    EXPECT_EQ(row.path, path);
    EXPECT_TRUE(UntouchedFrom(path, row.size, sizeof path));
  }
}

// --- Writes ---------------------------------------------------------------

enum class Writer { String, Number, Bytes };

LONG Write(Writer writer, HKEY root, const char* spec, const char* name) {
  switch (writer) {
    case Writer::String:
      return SetRegString(root, spec, name, "text");
    case Writer::Number:
      return SetRegNumber(root, spec, name, 7);
    case Writer::Bytes:
      return SetRegBytes(root, spec, name, 3, "\x01\x02\x03");
  }
  return -1;
}

const char* WriterName(Writer writer) {
  return writer == Writer::String   ? "SetRegString"
         : writer == Writer::Number ? "SetRegNumber"
                                    : "SetRegBytes";
}

TEST_F(RegistryTest, WritesRefuseSpecificationsLongerThan236CharactersAndWriteNothing) {
  const std::string classesPrefix = std::string(kClassesKey) + "\\";
  for (Writer writer : {Writer::String, Writer::Number, Writer::Bytes}) {
    for (std::size_t length : {236u, 237u}) {
      const bool accepted = length == kRegSpecLimit;
      {
        SCOPED_TRACE(std::string(WriterName(writer)) + " HKCU " + std::to_string(length));
        const std::string spec(length, 'k');
        EXPECT_EQ(accepted ? ERROR_SUCCESS : ERROR_INVALID_NAME,
                  Write(writer, HKEY_CURRENT_USER, spec.c_str(), "v"));
        EXPECT_EQ(accepted,
                  ReadRaw(HKEY_CURRENT_USER, UnderProduct(spec), "v").status == ERROR_SUCCESS);
        EXPECT_EQ(accepted, KeyExists(HKEY_CURRENT_USER, kProductKey));
        DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
      }
      {
        SCOPED_TRACE(std::string(WriterName(writer)) + " HKCR " + std::to_string(length));
        const std::string spec = classesPrefix + std::string(length - classesPrefix.size(), 'k');
        EXPECT_EQ(accepted ? ERROR_SUCCESS : ERROR_INVALID_NAME,
                  Write(writer, HKEY_CLASSES_ROOT, spec.c_str(), "v"));
        EXPECT_EQ(accepted, ReadRaw(HKEY_CLASSES_ROOT, spec, "v").status == ERROR_SUCCESS);
        EXPECT_EQ(accepted, KeyExists(HKEY_CLASSES_ROOT, kClassesKey));
        DeleteKeyTree(HKEY_CLASSES_ROOT, kClassesKey);
      }
    }
  }
}

TEST_F(RegistryTest, WritesStoreTheirTypeSizeAndBytes) {
  struct Row {
    const char* name;
    LONG (*write)(const char* name);
    DWORD type;
    std::string data;
  };
  static const char kSpec[] = "Write\\Nested\\Deep";
  static const std::string chinese = test::Acp("压缩文件");
  const Row rows[] = {
      {"text", [](const char* n) { return SetRegString(HKEY_CURRENT_USER, kSpec, n, "abc"); },
       REG_SZ, std::string("abc", 4)},
      {"empty", [](const char* n) { return SetRegString(HKEY_CURRENT_USER, kSpec, n, ""); }, REG_SZ,
       std::string("", 1)},
      {"", [](const char* n) { return SetRegString(HKEY_CURRENT_USER, kSpec, n, "default"); },
       REG_SZ, std::string("default", 8)},
      {"chinese",
       [](const char* n) { return SetRegString(HKEY_CURRENT_USER, kSpec, n, chinese.c_str()); },
       REG_SZ, chinese + std::string(1, '\0')},
      {"number",
       [](const char* n) { return SetRegNumber(HKEY_CURRENT_USER, kSpec, n, 0x12345678); },
       REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {"bytes",
       [](const char* n) { return SetRegBytes(HKEY_CURRENT_USER, kSpec, n, 3, "\x01\0\x02"); },
       REG_BINARY, std::string("\x01\0\x02", 3)},
      {"no bytes", [](const char* n) { return SetRegBytes(HKEY_CURRENT_USER, kSpec, n, 0, "x"); },
       REG_BINARY, std::string()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ERROR_SUCCESS, row.write(row.name));
    RawValue stored = ReadRaw(HKEY_CURRENT_USER, UnderProduct(kSpec), row.name);
    EXPECT_EQ(ERROR_SUCCESS, stored.status);
    EXPECT_EQ(row.type, stored.type);
    EXPECT_EQ(row.data, stored.data);
  }
}

TEST_F(RegistryTest, CreateErrorIsTheStatusOfTheWrite) {
  // A non-volatile key cannot be created below a volatile one.
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassesKey, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  const std::string spec = std::string(kClassesKey) + "\\Child";
  for (Writer writer : {Writer::String, Writer::Number, Writer::Bytes}) {
    SCOPED_TRACE(WriterName(writer));
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, Write(writer, HKEY_CLASSES_ROOT, spec.c_str(), "v"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, spec));
  }
}

TEST_F(RegistryTest, ShortFormsActBelowTheProductKey) {
  EXPECT_EQ(ERROR_SUCCESS, SetRegString("Setup\\MenuItems", "Text", "on"));
  EXPECT_EQ(ERROR_SUCCESS, SetRegNumber("Setup\\MenuItems", "Number", 1));
  EXPECT_EQ(std::string("on", 3),
            ReadRaw(HKEY_CURRENT_USER, UnderProduct("Setup\\MenuItems"), "Text").data);
  EXPECT_EQ(ERROR_SUCCESS,
            ReadRaw(HKEY_CURRENT_USER, UnderProduct("Setup\\MenuItems"), "Number").status);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Setup\\MenuItems"));

  char text[16];
  std::memset(text, test::kGarbage, sizeof text);
  EXPECT_TRUE(GetRegString("Setup\\MenuItems", "Text", sizeof text, "off", text));
  EXPECT_STREQ("on", text);
  EXPECT_EQ(1u, GetRegNumber("Setup\\MenuItems", "Number", 9));

  // A leading backslash leaves the product key.
  EXPECT_EQ(ERROR_SUCCESS, SetRegString("\\Software\\KorvikOutside", "Text", "out"));
  EXPECT_EQ(std::string("out", 4), ReadRaw(HKEY_CURRENT_USER, kOutsideKey, "Text").data);
  EXPECT_TRUE(GetRegString("\\Software\\KorvikOutside", "Text", sizeof text, "", text));
  EXPECT_STREQ("out", text);

  DelRegKey("Setup\\MenuItems");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Setup\\MenuItems")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Setup")));
}

// --- Reads ----------------------------------------------------------------

TEST_F(RegistryTest, EmptyTextIsStoredWithSizeOneAndReadsBackAsPresent) {
  ASSERT_EQ(ERROR_SUCCESS, SetRegString(HKEY_CURRENT_USER, "Empty", "v", ""));
  RawValue stored = ReadRaw(HKEY_CURRENT_USER, UnderProduct("Empty"), "v");
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
  EXPECT_EQ(1u, stored.data.size());

  char text[16];
  std::memset(text, test::kGarbage, sizeof text);
  EXPECT_TRUE(GetRegString(HKEY_CURRENT_USER, "Empty", "v", 8, "default", text));
  EXPECT_STREQ("", text);
  EXPECT_TRUE(UntouchedFrom(text, 8, sizeof text));
}

TEST_F(RegistryTest, GetRegStringLeavesATerminatedTextWhateverIsStored) {
  struct Row {
    const char* what;
    DWORD type;
    std::string stored;
    std::size_t size;
    bool found;
    const char* text;
  };
  const Row rows[] = {
      {"text without terminator", REG_SZ, "abc", 8, true, "abc"},
      {"text without terminator, room for it", REG_SZ, "abcd", 5, true, "abcd"},
      {"text without terminator, no room for it", REG_SZ, "abcd", 4, false, "dft"},
      {"text filling the buffer exactly", REG_SZ, std::string("abc", 4), 4, true, "abc"},
      {"text larger than the buffer", REG_SZ, std::string("abcdefgh", 9), 8, false, "dft"},
      {"text just fitting the buffer", REG_SZ, std::string("abcdefgh", 9), 9, true, "abcdefgh"},
      {"empty value", REG_SZ, "", 8, false, "dft"},
      {"binary", REG_BINARY, "xyz", 8, true, "xyz"},
      {"binary with a zero inside", REG_BINARY, std::string("a\0b", 3), 8, true, "a"},
      {"binary filling the buffer", REG_BINARY, "wxyz", 4, false, "dft"},
      {"binary with room for a terminator", REG_BINARY, "wxyz", 5, true, "wxyz"},
      {"empty binary", REG_BINARY, "", 8, false, "dft"},
      {"number of four letters", REG_DWORD, "ABCD", 4, false, "dft"},
      {"number of four letters, room for a terminator", REG_DWORD, "ABCD", 8, true, "ABCD"},
      {"number with zero high bytes", REG_DWORD, std::string("AB\0\0", 4), 4, true, "AB"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, kClassesKey, "v", row.type,
                                      row.stored.data(), static_cast<DWORD>(row.stored.size())));
    char text[32];
    std::memset(text, test::kGarbage, sizeof text);
    EXPECT_EQ(row.found, GetRegString(HKEY_CLASSES_ROOT, kClassesKey, "v", row.size, "dft", text));
    EXPECT_EQ(std::string(row.text), std::string(text, BoundedLength(text, row.size)));
    EXPECT_LT(BoundedLength(text, row.size), row.size) << "not terminated";
    EXPECT_TRUE(UntouchedFrom(text, row.size, sizeof text));
  }
}

TEST_F(RegistryTest, ReadsOfWhatIsMissingGiveTheDefault) {
  ASSERT_EQ(ERROR_SUCCESS, SetRegString(HKEY_CURRENT_USER, "Present", "other", "x"));
  struct Row {
    const char* spec;
    const char* name;
  };
  const Row rows[] = {{"Present", "missing"}, {"Missing", "v"}, {"Present\\Missing", ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.spec) + " / " + row.name);
    char text[16];
    std::memset(text, test::kGarbage, sizeof text);
    EXPECT_FALSE(GetRegString(HKEY_CURRENT_USER, row.spec, row.name, 10, "default", text));
    EXPECT_STREQ("default", text);
    EXPECT_TRUE(UntouchedFrom(text, 10, sizeof text));
    EXPECT_EQ(0xFEEDu, GetRegNumber(HKEY_CURRENT_USER, row.spec, row.name, 0xFEED));
  }
  // A default longer than the buffer is cut to it.
  char text[16];
  std::memset(text, test::kGarbage, sizeof text);
  EXPECT_FALSE(GetRegString(HKEY_CURRENT_USER, "Missing", "v", 4, "default", text));
  EXPECT_STREQ("def", text);
  EXPECT_TRUE(UntouchedFrom(text, 4, sizeof text));
}

// Only a number of ours is a number: an "Exist" stored as an empty text by
// someone else must not read as 0.
TEST_F(RegistryTest, GetRegNumberReadsOnlyAFourByteDword) {
  struct Row {
    const char* what;
    DWORD type;
    std::string stored;
    DWORD expected;
  };
  const Row rows[] = {
      {"number", REG_DWORD, "\x78\x56\x34\x12", 0x12345678},
      {"zero", REG_DWORD, std::string(4, '\0'), 0},
      {"one byte", REG_BINARY, "\x41", 0xFEED},
      {"two bytes", REG_BINARY, "\x34\x12", 0xFEED},
      {"four bytes", REG_BINARY, std::string(4, '\0'), 0xFEED},
      {"short text", REG_SZ, std::string("AB", 3), 0xFEED},
      {"empty text", REG_SZ, std::string(1, '\0'), 0xFEED},
      {"big-endian number", REG_DWORD_BIG_ENDIAN, std::string(4, '\0'), 0xFEED},
      {"short dword", REG_DWORD, std::string(2, '\0'), 0xFEED},
      {"eight bytes", REG_BINARY, "12345678", 0xFEED},
      {"no bytes", REG_BINARY, "", 0xFEED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, kClassesKey, "v", row.type,
                                      row.stored.data(), static_cast<DWORD>(row.stored.size())));
    EXPECT_EQ(row.expected, GetRegNumber(HKEY_CLASSES_ROOT, kClassesKey, "v", 0xFEED));
  }
}

TEST_F(RegistryTest, RefusedSpecificationIsNeitherReadNorDeleted) {
  // Keys of 236 and 237 characters, made without the layer.
  const std::string prefix = std::string(kClassesKey) + "\\";
  const std::string accepted = prefix + std::string(kRegSpecLimit - prefix.size(), 'r');
  const std::string refused = accepted + "r";
  for (const std::string& spec : {accepted, refused}) {
    ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, spec, "v", REG_SZ, "stored", 7));
  }
  char text[16];
  EXPECT_TRUE(RegKeyPresent(HKEY_CLASSES_ROOT, accepted.c_str()));
  EXPECT_TRUE(GetRegString(HKEY_CLASSES_ROOT, accepted.c_str(), "v", sizeof text, "", text));

  EXPECT_FALSE(RegKeyPresent(HKEY_CLASSES_ROOT, refused.c_str()));
  std::memset(text, test::kGarbage, sizeof text);
  EXPECT_FALSE(GetRegString(HKEY_CLASSES_ROOT, refused.c_str(), "v", sizeof text, "dft", text));
  EXPECT_STREQ("dft", text);
  EXPECT_EQ(3u, GetRegNumber(HKEY_CLASSES_ROOT, refused.c_str(), "v", 3));
  DelRegValue(HKEY_CLASSES_ROOT, refused.c_str(), "v");
  DelRegKey(HKEY_CLASSES_ROOT, refused.c_str());
  DelRegTree(HKEY_CLASSES_ROOT, refused.c_str());
  DelRegKey64(HKEY_CLASSES_ROOT, refused.c_str());
  EXPECT_EQ(std::string("stored", 7), ReadRaw(HKEY_CLASSES_ROOT, refused, "v").data);
}

TEST_F(RegistryTest, RegKeyPresentFollowsTheKey) {
  EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, ""));
  EXPECT_FALSE(RegKeyPresent(HKEY_CLASSES_ROOT, kClassesKey));
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Key"}));
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey}));
  EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, ""));
  EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, "Key"));
  EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, "\\Software\\Korvik\\Key"));
  EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, "\\Key"));
  EXPECT_TRUE(RegKeyPresent(HKEY_CLASSES_ROOT, kClassesKey));
  EXPECT_FALSE(RegKeyPresent(HKEY_CLASSES_ROOT, "Software\\Korvik\\Key"));
}

// --- Deletions ------------------------------------------------------------

TEST_F(RegistryTest, DelRegKeyDeletesOneKeyWithoutSubkeys) {
  const std::string leaf = std::string(kClassesKey) + "\\Leaf";
  const std::string parent = std::string(kClassesKey) + "\\Parent";
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "Leaf"}));
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "Parent", "Child"}));

  DelRegKey(HKEY_CLASSES_ROOT, leaf.c_str());
  DelRegKey(HKEY_CLASSES_ROOT, parent.c_str());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, leaf));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, parent + "\\Child"));

  // Specifications that name a root leave it alone.
  DelRegKey(HKEY_CLASSES_ROOT, "");
  DelRegKey(HKEY_CURRENT_USER, "\\");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, parent));
}

TEST_F(RegistryTest, DelRegValueDeletesOneValue) {
  const std::string values = std::string(kClassesKey) + "\\Values";
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, values, "a", REG_SZ, "1", 2));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, values, "b", REG_SZ, "2", 2));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, values, "", REG_SZ, "3", 2));

  DelRegValue(HKEY_CLASSES_ROOT, values.c_str(), "a");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRaw(HKEY_CLASSES_ROOT, values, "a").status);
  EXPECT_EQ(ERROR_SUCCESS, ReadRaw(HKEY_CLASSES_ROOT, values, "b").status);
  EXPECT_EQ(ERROR_SUCCESS, ReadRaw(HKEY_CLASSES_ROOT, values, "").status);

  DelRegValue(HKEY_CLASSES_ROOT, values.c_str(), "");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRaw(HKEY_CLASSES_ROOT, values, "").status);
  EXPECT_EQ(ERROR_SUCCESS, ReadRaw(HKEY_CLASSES_ROOT, values, "b").status);

  // A missing key is not created to delete from.
  const std::string missing = std::string(kClassesKey) + "\\Missing";
  DelRegValue(HKEY_CLASSES_ROOT, missing.c_str(), "b");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, missing));
}

// Every value, whatever its type, name or code page, is copied byte for
// byte; the destination is created, a missing source creates nothing.
TEST_F(RegistryTest, CopyRegValuesCopiesEveryValueByteForByte) {
  const std::wstring from = L"KorvikTest\\From";
  const std::string to = std::string(kClassesKey) + "\\To";
  // Thai text: outside code page 936, so an "A" copy would turn it into "?".
  const std::wstring thai = L"\x0E01\x0E02";
  const std::wstring text = L"C:\\" + thai + L"\\new.exe %1";
  const DWORD number = 0xBDBDBD07;
  const BYTE bytes[] = {0x50, 0x00, 0xFF, 0x4B};
  const wchar_t multi[] =
      L"a\0"
      L"\x0E01\0";
  struct Value {
    std::wstring name;
    DWORD type;
    std::string data;
  };
  auto raw = [](const void* data, std::size_t size) {
    return std::string(static_cast<const char*>(data), size);
  };
  const Value values[] = {
      {L"", REG_SZ, raw(L"default", 16)},
      {L"Command", REG_SZ, raw(text.c_str(), (text.size() + 1) * 2)},
      {L"Name" + thai, REG_EXPAND_SZ, raw(L"%TEMP%", 14)},
      {L"Flags", REG_DWORD, raw(&number, 4)},
      {L"Data", REG_BINARY, raw(bytes, sizeof bytes)},
      {L"Multi", REG_MULTI_SZ, raw(multi, sizeof multi)},
      {L"Empty", REG_BINARY, std::string()},
  };
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, from.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  for (const Value& value : values) {
    RegSetValueExW(key, value.name.c_str(), 0, value.type,
                   reinterpret_cast<const BYTE*>(value.data.data()),
                   static_cast<DWORD>(value.data.size()));
  }
  RegCloseKey(key);
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "From", "Sub"}));

  EXPECT_EQ(ERROR_SUCCESS,
            CopyRegValues(HKEY_CLASSES_ROOT, "KorvikTest\\From", HKEY_CLASSES_ROOT, to.c_str()));

  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, to.c_str(), 0, KEY_READ, &key));
  DWORD count = 0;
  DWORD subKeys = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &count, nullptr,
                   nullptr, nullptr, nullptr);
  EXPECT_EQ(sizeof values / sizeof values[0], count);
  EXPECT_EQ(0u, subKeys);  // values only
  for (const Value& value : values) {
    SCOPED_TRACE(value.type);
    BYTE data[256];
    std::memset(data, test::kGarbage, sizeof data);
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(key, value.name.c_str(), nullptr, &type, data, &size));
    EXPECT_EQ(value.type, type);
    EXPECT_EQ(value.data, raw(data, size));
  }
  RegCloseKey(key);

  const std::string nowhere = std::string(kClassesKey) + "\\Nowhere";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, CopyRegValues(HKEY_CLASSES_ROOT, "KorvikTest\\Missing",
                                                HKEY_CLASSES_ROOT, nowhere.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, nowhere));
  SetRegWriteFaultForTest(HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED);
  EXPECT_EQ(ERROR_ACCESS_DENIED, CopyRegValues(HKEY_CLASSES_ROOT, "KorvikTest\\From",
                                               HKEY_CLASSES_ROOT, nowhere.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, nowhere));
}

// DelRegValues empties a key and keeps it; DelRegKeyIfEmpty deletes only a
// key without values and subkeys; neither touches a root.
TEST_F(RegistryTest, ValuesGoWithoutTheirKeyAndOnlyEmptyKeysGo) {
  struct Row {
    const char* name;
    bool value;
    bool subKey;
    bool emptiedFirst;  // DelRegValues before
    bool deleted;
  };
  const Row rows[] = {
      {"empty", false, false, false, true},
      {"a value", true, false, false, false},
      {"a value, emptied", true, false, true, true},
      {"a subkey", false, true, false, false},
      {"a value and a subkey, emptied", true, true, true, false},
  };
  const std::string path = std::string(kClassesKey) + "\\Key";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Clean();
    ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "Key"}));
    if (row.value) {
      ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, path, "", REG_SZ, "d", 2));
      ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, path, "v", REG_DWORD, "\1\0\0\0", 4));
    }
    if (row.subKey) {
      ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, path + "\\Sub", "s", REG_SZ, "s", 2));
    }
    if (row.emptiedFirst) DelRegValues(HKEY_CLASSES_ROOT, path.c_str());

    EXPECT_EQ(row.deleted, DelRegKeyIfEmpty(HKEY_CLASSES_ROOT, path.c_str()));
    EXPECT_EQ(!row.deleted, KeyExists(HKEY_CLASSES_ROOT, path));
    EXPECT_EQ(row.value && !row.emptiedFirst,
              ReadRaw(HKEY_CLASSES_ROOT, path, "v").status == ERROR_SUCCESS);
    EXPECT_EQ(row.subKey, ReadRaw(HKEY_CLASSES_ROOT, path + "\\Sub", "s").status == ERROR_SUCCESS);
  }
  EXPECT_FALSE(DelRegKeyIfEmpty(HKEY_CURRENT_USER, "\\"));
  DelRegValues(HKEY_CURRENT_USER, "\\");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

// Three levels below "Tree", three siblings on each, each with a value.
void BuildThreeLevelTree(HKEY root, const std::string& tree) {
  const char* names[] = {"A", "B", "C"};
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(root, tree, "v", REG_SZ, "t", 2));
  for (const char* one : names) {
    for (const char* two : names) {
      for (const char* three : names) {
        std::string path = tree + "\\" + one + "\\" + two + "\\" + three;
        ASSERT_EQ(ERROR_SUCCESS, WriteRaw(root, path, "v", REG_SZ, "t", 2));
      }
    }
  }
}

// A pass leaves the siblings that move down into the indexes it freed: the
// tree goes whole only when passes follow until one deletes nothing.
TEST_F(RegistryTest, DelRegTreeRemovesThreeLevelsInSeveralPasses) {
  const std::string base = std::string(kClassesKey) + "\\";
  ASSERT_NO_FATAL_FAILURE(BuildThreeLevelTree(HKEY_CLASSES_ROOT, base + "Tree"));
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "Tre"}));
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "TreeSibling", "Child"}));

  DelRegTree(HKEY_CLASSES_ROOT, (base + "Tree").c_str());

  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, base + "Tree"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, base + "Tre"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, base + "TreeSibling\\Child"));
}

TEST_F(RegistryTest, DelRegTreeOfTheEmptySpecificationRemovesTheProductKeyOnly) {
  ASSERT_NO_FATAL_FAILURE(BuildThreeLevelTree(HKEY_CURRENT_USER, UnderProduct("Settings")));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, kOtherProductKey, "v", REG_SZ, "o", 2));

  DelRegTree(HKEY_CURRENT_USER, "");

  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
  EXPECT_EQ(std::string("o", 2), ReadRaw(HKEY_CURRENT_USER, kOtherProductKey, "v").data);
}

TEST_F(RegistryTest, DelRegTreeNeverDeletesARoot) {
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Keep"}));
  ASSERT_TRUE(CreateChain(HKEY_CLASSES_ROOT, {kClassesKey, "Keep"}));

  DelRegTree(HKEY_CURRENT_USER, "\\");
  DelRegTree(HKEY_CLASSES_ROOT, "");

  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Keep")));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kClassesKey) + "\\Keep"));
}

TEST_F(RegistryTest, DelRegTreeStopsAtASubkeyNameOf200Characters) {
  // Subkeys are enumerated in name order, so the long name comes first and
  // every pass meets it before "z".
  struct Row {
    std::size_t length;
    bool stays;
  };
  const Row rows[] = {{199, false}, {200, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    const std::string name(row.length, 'a');
    ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Names", name}));
    ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Names", "z"}));

    DelRegTree(HKEY_CURRENT_USER, "Names");

    EXPECT_EQ(row.stays, KeyExists(HKEY_CURRENT_USER, UnderProduct("Names\\" + name)));
    EXPECT_EQ(row.stays, KeyExists(HKEY_CURRENT_USER, UnderProduct("Names\\z")));
    EXPECT_EQ(row.stays, KeyExists(HKEY_CURRENT_USER, UnderProduct("Names")));
    DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
  }
}

// Each child is opened relative to its parent, so no path is too long: a
// chain whose full path is 593 characters long goes (Wine's "A" functions
// reach no path longer than 260 from a root). Below 512 levels the walk
// stops, and the keys there stay with their ancestors.
TEST_F(RegistryTest, DelRegTreeReachesEveryKeyOfTheRegistrysDepth) {
  const std::vector<std::string> chain = {kProductKey,           "Deep",
                                          std::string(190, 'a'), std::string(190, 'b'),
                                          std::string(190, 'c'), "d"};
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, chain));
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Deep", chain[2], "Near"}));
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Deeper"}));

  DelRegTree(HKEY_CURRENT_USER, "Deep");

  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Deep")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Deeper")));

  struct Row {
    std::size_t levels;  // below the tree's own key
    bool stays;
  };
  const Row rows[] = {{511, false}, {513, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.levels);
    std::vector<std::string> deep = {kProductKey, "Deep"};
    deep.insert(deep.end(), row.levels, "k");
    ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, deep));

    DelRegTree(HKEY_CURRENT_USER, "Deep");

    EXPECT_EQ(row.stays, ChainExists(HKEY_CURRENT_USER, deep));
    EXPECT_EQ(row.stays, KeyExists(HKEY_CURRENT_USER, UnderProduct("Deep")));
    DeleteKeyTree(HKEY_CURRENT_USER, UnderProduct("Deep"));
  }
}

// A link below the product key, or the product key itself as a link, to
// another program's tree: the link goes, the tree it points at stays whole.
TEST_F(RegistryTest, DelRegTreeDeletesARegistryLinkItselfNotWhatItPointsAt) {
  struct Row {
    const char* link;  // below HKEY_CURRENT_USER
    const char* spec;  // given to DelRegTree
  };
  const std::string product = kProductKey;
  const Row rows[] = {{kLinks[0], "Linked"}, {kLinks[1], ""}, {kLinks[2], ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.link);
    ASSERT_TRUE(test::DeleteRegistryLink(row.link));
    DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
    ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kOtherProductKey, "Child", "Grandchild"}));
    ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, kOtherProductKey, "v", REG_SZ, "o", 2));
    if (product != row.link) {
      ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Settings"}));
    }
    ASSERT_TRUE(test::CreateRegistryLink(row.link, kOtherProductKey));
    // Through the link, the other program's keys show.
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(row.link) + "\\Child"));

    DelRegTree(HKEY_CURRENT_USER, row.spec);

    EXPECT_FALSE(test::RegistryLinkExists(row.link));
    EXPECT_TRUE(
        KeyExists(HKEY_CURRENT_USER, std::string(kOtherProductKey) + "\\Child\\Grandchild"));
    EXPECT_EQ(std::string("o", 2), ReadRaw(HKEY_CURRENT_USER, kOtherProductKey, "v").data);
    if (row.spec[0] == '\0') {
      EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    }
    EXPECT_TRUE(test::DeleteRegistryLink(row.link));
  }
}

// Through a link below the product key, neither the values of another
// program's key nor that key, empty, are deleted; the link stays too.
TEST_F(RegistryTest, ValuesAndEmptyKeysBehindARegistryLinkStay) {
  const std::string empty = std::string(kOtherProductKey) + "\\Empty";
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kOtherProductKey, "Empty"}));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, kOtherProductKey, "v", REG_SZ, "o", 2));
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey}));
  for (const std::string& target : {std::string(kOtherProductKey), empty}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(test::CreateRegistryLink(kLinks[0], target));

    DelRegValues(HKEY_CURRENT_USER, "Linked");
    EXPECT_FALSE(DelRegKeyIfEmpty(HKEY_CURRENT_USER, "Linked"));

    EXPECT_TRUE(test::RegistryLinkExists(kLinks[0]));
    EXPECT_EQ(std::string("o", 2), ReadRaw(HKEY_CURRENT_USER, kOtherProductKey, "v").data);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, empty));
    ASSERT_TRUE(test::DeleteRegistryLink(kLinks[0]));
  }
}

// --- Registry links met during a walk ---------------------------------------

// Another program's tree, with names like those of the trees the tests
// delete, so that a walk that followed a link would find work there.
void BuildForeignTree() {
  for (const char* key : {"Tree\\A\\X", "Tree\\B", "A\\X", "X", ""}) {
    const std::string path =
        *key != '\0' ? std::string(kOtherProductKey) + "\\" + key : std::string(kOtherProductKey);
    ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, path, "v", REG_SZ, "o", 2));
    ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, path, "", REG_SZ, "d", 2));
  }
}

// At one step of DelRegTree, deletes a key of the tree and puts a link to
// the other program's tree in its place.
struct LinkSwap {
  int step = -1;  // -1: the steps are only counted
  int steps = 0;
  std::string key;  // below HKEY_CURRENT_USER
  bool made = false;
};

void SwapForLinkAtStep(void* context) {
  LinkSwap& swap = *static_cast<LinkSwap*>(context);
  if (swap.steps++ != swap.step) return;
  DeleteKeyTree(HKEY_CURRENT_USER, swap.key);
  swap.made = test::CreateRegistryLink(swap.key, kOtherProductKey);
}

// The hook goes however a test ends.
struct ScopedTreeStepHook {
  explicit ScopedTreeStepHook(LinkSwap& swap) {
    SetDelRegTreeStepHookForTest(SwapForLinkAtStep, &swap);
  }
  ~ScopedTreeStepHook() { SetDelRegTreeStepHookForTest(nullptr, nullptr); }
};

// A key above the tree, the tree's own key, a parent and a leaf, each
// swapped for a link at every step in turn: the tree the link points at is
// never entered, its keys and values all stay.
TEST_F(RegistryTest, DelRegTreeNeverEntersAKeySwappedForALinkDuringTheWalk) {
  ASSERT_NO_FATAL_FAILURE(BuildForeignTree());
  const test::RegistrySnapshot foreign =
      test::SnapshotRegistry(HKEY_CURRENT_USER, kOtherProductKey);
  auto buildTree = [] {
    for (const char* key : {"Outer\\Tree\\A\\X", "Outer\\Tree\\A\\Y", "Outer\\Tree\\B\\X"}) {
      ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, UnderProduct(key), "v", REG_SZ, "t", 2));
    }
  };
  LinkSwap count;
  {
    ASSERT_NO_FATAL_FAILURE(buildTree());
    ScopedTreeStepHook hook(count);
    DelRegTree(HKEY_CURRENT_USER, "Outer\\Tree");
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Outer\\Tree")));
  }
  ASSERT_GT(count.steps, 10);
  for (const char* swapped : {"Outer", "Outer\\Tree", "Outer\\Tree\\A", "Outer\\Tree\\A\\X"}) {
    for (int step = 0; step < count.steps; ++step) {
      SCOPED_TRACE(std::string(swapped) + " at step " + std::to_string(step));
      ASSERT_NO_FATAL_FAILURE(buildTree());
      LinkSwap swap;
      swap.step = step;
      swap.key = UnderProduct(swapped);
      {
        ScopedTreeStepHook hook(swap);
        DelRegTree(HKEY_CURRENT_USER, "Outer\\Tree");
      }
      EXPECT_TRUE(swap.made);
      ASSERT_EQ(std::vector<std::string>{},
                test::SnapshotDifferences(
                    foreign, test::SnapshotRegistry(HKEY_CURRENT_USER, kOtherProductKey)));
      ASSERT_TRUE(test::DeleteRegistryLink(swap.key));
      DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
    }
  }
}

// Writes and deletions at a link, or below one, to another program's keys:
// nothing there changes; a link that is itself the key to delete goes.
TEST_F(RegistryTest, NoWriteOrDeletionGoesThroughARegistryLink) {
  struct Row {
    const char* what;
    LONG (*act)();  // a status, or 0 for the deletions
    LONG status;
    bool linkStays;
  };
  const Row rows[] = {
      {"text at the link", [] { return SetRegString(HKEY_CURRENT_USER, "Linked", "v", "x"); },
       kRegLinkStatus, true},
      {"number below it", [] { return SetRegNumber(HKEY_CURRENT_USER, "Linked\\A", "n", 1); },
       kRegLinkStatus, true},
      {"bytes in a new key below it",
       [] { return SetRegBytes(HKEY_CURRENT_USER, "Linked\\New", "b", 1, "x"); }, kRegLinkStatus,
       true},
      {"copy into it",
       [] {
         return CopyRegValues(HKEY_CURRENT_USER, "\\Software\\KorvikOutside", HKEY_CURRENT_USER,
                              "Linked");
       },
       kRegLinkStatus, true},
      {"copy below it",
       [] {
         return CopyRegValues(HKEY_CURRENT_USER, "\\Software\\KorvikOutside", HKEY_CURRENT_USER,
                              "Linked\\X");
       },
       kRegLinkStatus, true},
      {"value at the link", [] { return DelRegValue(HKEY_CURRENT_USER, "Linked", "v"), 0L; }, 0,
       true},
      {"value below it", [] { return DelRegValue(HKEY_CURRENT_USER, "Linked\\X", "v"), 0L; }, 0,
       true},
      {"values below it", [] { return DelRegValues(HKEY_CURRENT_USER, "Linked\\X"), 0L; }, 0, true},
      {"key below it", [] { return DelRegKey(HKEY_CURRENT_USER, "Linked\\X"), 0L; }, 0, true},
      {"empty key below it",
       [] { return DelRegKeyIfEmpty(HKEY_CURRENT_USER, "Linked\\Tree\\B") ? 1L : 0L; }, 0, true},
      {"tree below it", [] { return DelRegTree(HKEY_CURRENT_USER, "Linked\\Tree"), 0L; }, 0, true},
      {"the link itself", [] { return DelRegKey(HKEY_CURRENT_USER, "Linked"), 0L; }, 0, false},
      {"the link as a tree", [] { return DelRegTree(HKEY_CURRENT_USER, "Linked"), 0L; }, 0, false},
  };
  ASSERT_NO_FATAL_FAILURE(BuildForeignTree());
  // Empty keys, which a deletion of empty keys would take.
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kOtherProductKey, "Tree", "B"}));
  DeleteValue(HKEY_CURRENT_USER, std::string(kOtherProductKey) + "\\Tree\\B", "v");
  DeleteValue(HKEY_CURRENT_USER, std::string(kOtherProductKey) + "\\Tree\\B", "");
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, kOutsideKey, "c", REG_SZ, "c", 2));
  const test::RegistrySnapshot foreign =
      test::SnapshotRegistry(HKEY_CURRENT_USER, kOtherProductKey);
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey}));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(test::CreateRegistryLink(kLinks[0], kOtherProductKey));

    EXPECT_EQ(row.status, row.act());

    EXPECT_EQ(row.linkStays, test::RegistryLinkExists(kLinks[0]));
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(
                  foreign, test::SnapshotRegistry(HKEY_CURRENT_USER, kOtherProductKey)));
    ASSERT_TRUE(test::DeleteRegistryLink(kLinks[0]));
  }
}

// Below HKEY_LOCAL_MACHINE only the system and administrators make keys,
// and the system's own links lie on the way to keys the product writes
// (Wine shares "App Paths" between the views by one): a link on the way is
// followed there, while one in the key's own place is still not.
TEST_F(RegistryTest, LinksOnTheWayAreFollowedOnlyBelowTheMachineKey) {
  const std::string linked = std::string(kMachineLinksKey) + "\\Linked";
  const std::string target = std::string(kMachineLinksKey) + "\\Target";
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_LOCAL_MACHINE, target, "v", REG_SZ, "t", 2));
  ASSERT_TRUE(test::CreateRegistryLink(HKEY_LOCAL_MACHINE, linked,
                                       test::KernelKeyPath(HKEY_LOCAL_MACHINE, target)));

  EXPECT_EQ(ERROR_SUCCESS,
            SetRegString(HKEY_LOCAL_MACHINE, (linked + "\\Sub").c_str(), "w", "written"));
  EXPECT_EQ("written", test::ReadText(HKEY_LOCAL_MACHINE, target + "\\Sub", "w"));
  EXPECT_EQ(kRegLinkStatus, SetRegString(HKEY_LOCAL_MACHINE, linked.c_str(), "w", "x"));
  DelRegValue(HKEY_LOCAL_MACHINE, linked.c_str(), "v");
  EXPECT_EQ(std::string("t", 2), ReadRaw(HKEY_LOCAL_MACHINE, target, "v").data);

  EXPECT_TRUE(test::DeleteRegistryLink(HKEY_LOCAL_MACHINE, linked));
}

// A key whose default value the owner test refuses stays, and so do its
// values; one it accepts goes. A link has no default value of its own.
TEST_F(RegistryTest, DeletionsWithAnOwnerTestTakeOnlyWhatItAccepts) {
  struct Row {
    const char* what;
    DWORD type;  // REG_NONE: no default value
    std::string data;
    bool deleted;
  };
  const Row rows[] = {
      {"ours", REG_SZ, std::string("ours", 5), true},
      {"ours, other case", REG_EXPAND_SZ, std::string("OURS", 5), true},
      {"another's", REG_SZ, std::string("other", 6), false},
      {"none", REG_NONE, "", false},
      {"ours as bytes", REG_BINARY, std::string("ours", 5), false},
  };
  const RegOwner owner = {[](const char* text, const void* context) {
                            return text != nullptr &&
                                   _stricmp(text, static_cast<const char*>(context)) == 0;
                          },
                          "ours"};
  const std::string key = std::string(kClassesKey) + "\\Owned";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    for (bool wholeKey : {true, false}) {
      ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, key, "v", REG_SZ, "v", 2));
      if (row.type != REG_NONE) {
        ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, key, "", row.type, row.data.data(),
                                          static_cast<DWORD>(row.data.size())));
      }
      if (wholeKey) {
        DeleteValue(HKEY_CLASSES_ROOT, key, "v");
        DelRegKey(HKEY_CLASSES_ROOT, key.c_str(), owner);
        EXPECT_EQ(!row.deleted, KeyExists(HKEY_CLASSES_ROOT, key));
      } else {
        DelRegValue(HKEY_CLASSES_ROOT, key.c_str(), "v", owner);
        EXPECT_EQ(!row.deleted, ReadRaw(HKEY_CLASSES_ROOT, key, "v").present);
      }
      DeleteKeyTree(HKEY_CLASSES_ROOT, kClassesKey);
    }
  }
  // The link is refused and stays; what it points at keeps its value.
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CURRENT_USER, kOtherProductKey, "", REG_SZ, "ours", 5));
  ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey}));
  ASSERT_TRUE(test::CreateRegistryLink(kLinks[0], kOtherProductKey));
  DelRegValue(HKEY_CURRENT_USER, "Linked", "", owner);
  DelRegKey(HKEY_CURRENT_USER, "Linked", owner);
  EXPECT_TRUE(test::RegistryLinkExists(kLinks[0]));
  EXPECT_EQ(std::string("ours", 5), ReadRaw(HKEY_CURRENT_USER, kOtherProductKey, "").data);
}

// Where the "W" calls are stubs that fail with 120, as on the 9x family,
// values are copied and deleted by the "A" calls, whole.
TEST_F(RegistryTest, ValuesAreCopiedAndDeletedWithoutTheWideCalls) {
  struct ScopedWideFailure {
    ScopedWideFailure() { SetRegWideCallsFailForTest(true); }
    ~ScopedWideFailure() { SetRegWideCallsFailForTest(false); }
  } wideFailure;
  const std::string from = std::string(kClassesKey) + "\\From";
  const std::string to = std::string(kClassesKey) + "\\To";
  const std::string chinese = test::Acp("新建压缩文件");
  const DWORD number = 0xBDBDBD07;
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, from, "", REG_SZ, "d", 2));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, from, "NullFile", REG_SZ, "", 1));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, from, chinese.c_str(), REG_SZ,
                                    chinese.c_str(), static_cast<DWORD>(chinese.size() + 1)));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, from, "Flags", REG_DWORD, &number, 4));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, from, "Data", REG_BINARY, "\x50\0\xFF", 3));
  const test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_CLASSES_ROOT, from);

  EXPECT_EQ(ERROR_SUCCESS,
            CopyRegValues(HKEY_CLASSES_ROOT, from.c_str(), HKEY_CLASSES_ROOT, to.c_str()));

  test::RegistrySnapshot copied;
  for (const auto& entry : test::SnapshotRegistry(HKEY_CLASSES_ROOT, to)) {
    copied[from + entry.first.substr(to.size())] = entry.second;
  }
  EXPECT_EQ(std::vector<std::string>{}, test::SnapshotDifferences(before, copied));

  DelRegValues(HKEY_CLASSES_ROOT, to.c_str());
  EXPECT_EQ(std::vector<std::string>{}, test::ValueNames(HKEY_CLASSES_ROOT, to));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, to));
}

// probe.exe runs DelRegTree in a process that Wine shows the Windows version
// of the row. Either way the tree goes, and its neighbours and the product
// key stay; whether the 9x family's one call took it shows nowhere in Wine's
// registry, so the probe tells whether the passes walked it or never began.
TEST_F(RegistryTest, DelRegTreeOnThe9xFamilyTriesOneCallFirst) {
  struct Row {
    const char* version;
    bool subkeys;
    long walked;  // the probe's exit code
  };
  const Row rows[] = {
      {"win98", false, 0},  // one call removes the key
      {"winme", false, 0},
      {"win7", false, 1},
      {"nt40", false, 1},
      // Wine refuses the one call on a key with subkeys (status 5) whatever
      // the version; the passes that follow remove the tree.
      {"win98", true, 1},
      {"win7", true, 1},
  };
  const std::string probe = "\"" + test::ExeFolder() + "\\helpers\\probe.exe\" deltree Tree";
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.version) + (row.subkeys ? " with subkeys" : " alone"));
    if (row.subkeys) {
      ASSERT_NO_FATAL_FAILURE(BuildThreeLevelTree(HKEY_CURRENT_USER, UnderProduct("Tree")));
    } else {
      ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Tree"}));
    }
    ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Kept"}));
    ASSERT_TRUE(CreateChain(HKEY_CURRENT_USER, {kProductKey, "Tree2"}));
    test::ScopedWindowsVersion version("probe.exe", row.version);

    EXPECT_EQ(row.walked, test::RunAndWait(probe));

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Tree")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Kept")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Tree2")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
  }
}

// --- The 64-bit view ------------------------------------------------------

TEST_F(RegistryTest, WritesInThe64BitViewWhileTheFlagIsOn) {
  if (!IsWow64()) GTEST_SKIP() << "one registry view only";
  for (Writer writer : {Writer::String, Writer::Number, Writer::Bytes}) {
    SCOPED_TRACE(WriterName(writer));
    {
      ScopedView64 view64;
      EXPECT_EQ(ERROR_SUCCESS, Write(writer, HKEY_CLASSES_ROOT, kTestClassKey, "v"));
    }
    EXPECT_EQ(ERROR_SUCCESS,
              ReadRaw(HKEY_CLASSES_ROOT, kTestClassKey, "v", KEY_WOW64_64KEY).status);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey));

    // Off again: the next write goes to the process's own view.
    EXPECT_EQ(ERROR_SUCCESS, Write(writer, HKEY_CLASSES_ROOT, kTestClassKey, "w"));
    EXPECT_EQ(ERROR_SUCCESS, ReadRaw(HKEY_CLASSES_ROOT, kTestClassKey, "w").status);
    EXPECT_NE(ERROR_SUCCESS,
              ReadRaw(HKEY_CLASSES_ROOT, kTestClassKey, "w", KEY_WOW64_64KEY).status);
    Clean();
  }
}

TEST_F(RegistryTest, ReadsAndDeletionsIgnoreThe64BitFlag) {
  if (!IsWow64()) GTEST_SKIP() << "one registry view only";
  // The same key in both views, told apart by their values.
  ASSERT_EQ(ERROR_SUCCESS,
            WriteRaw(HKEY_CLASSES_ROOT, kTestClassKey, "v", REG_SZ, "64", 3, KEY_WOW64_64KEY));
  ASSERT_EQ(ERROR_SUCCESS,
            WriteRaw(HKEY_CLASSES_ROOT, kTestClassKey, "w", REG_SZ, "64", 3, KEY_WOW64_64KEY));
  ASSERT_EQ(ERROR_SUCCESS, WriteRaw(HKEY_CLASSES_ROOT, kTestClassKey, "v", REG_SZ, "32", 3));
  ASSERT_EQ(ERROR_SUCCESS,
            WriteRaw(HKEY_CLASSES_ROOT, kTestClassKey, "w", REG_DWORD, "\x20\0\0\0", 4));
  ScopedView64 view64;

  char text[16];
  std::memset(text, test::kGarbage, sizeof text);
  EXPECT_TRUE(GetRegString(HKEY_CLASSES_ROOT, kTestClassKey, "v", sizeof text, "", text));
  EXPECT_STREQ("32", text);
  EXPECT_EQ(0x20u, GetRegNumber(HKEY_CLASSES_ROOT, kTestClassKey, "w", 0));

  DelRegValue(HKEY_CLASSES_ROOT, kTestClassKey, "w");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRaw(HKEY_CLASSES_ROOT, kTestClassKey, "w").status);
  EXPECT_EQ(ERROR_SUCCESS, ReadRaw(HKEY_CLASSES_ROOT, kTestClassKey, "w", KEY_WOW64_64KEY).status);

  DelRegKey(HKEY_CLASSES_ROOT, kTestClassKey);
  EXPECT_FALSE(RegKeyPresent(HKEY_CLASSES_ROOT, kTestClassKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_64KEY));

  // The key left in the 64-bit view is out of reach of reads and deletions.
  std::memset(text, test::kGarbage, sizeof text);
  EXPECT_FALSE(GetRegString(HKEY_CLASSES_ROOT, kTestClassKey, "v", sizeof text, "none", text));
  EXPECT_STREQ("none", text);
  DelRegKey(HKEY_CLASSES_ROOT, kTestClassKey);
  DelRegTree(HKEY_CLASSES_ROOT, kTestClassKey);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_64KEY));
}

TEST_F(RegistryTest, DelRegKey64DeletesTheKeyOfThe64BitView) {
  if (!IsWow64()) GTEST_SKIP() << "one registry view only";
  {
    ScopedView64 view64;
    ASSERT_EQ(ERROR_SUCCESS, SetRegString(HKEY_CLASSES_ROOT, kTestClassKey, "", "64-bit class"));
  }
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_64KEY));
  ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey));

  DelRegKey(HKEY_CLASSES_ROOT, kTestClassKey);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_64KEY));

  // A namesake in the process's own view is left to DelRegKey.
  ASSERT_EQ(ERROR_SUCCESS, SetRegString(HKEY_CLASSES_ROOT, kTestClassKey, "", "32-bit class"));
  DelRegKey64(HKEY_CLASSES_ROOT, kTestClassKey);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey));
  DelRegKey(HKEY_CLASSES_ROOT, kTestClassKey);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey));
}

// --- The write fault for tests --------------------------------------------

TEST_F(RegistryTest, WriteFaultAnswersItsStatusUnderItsRootOnly) {
  const std::string spec = std::string(kClassesKey) + "\\Denied";
  SetRegWriteFaultForTest(HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED);
  for (Writer writer : {Writer::String, Writer::Number, Writer::Bytes}) {
    SCOPED_TRACE(WriterName(writer));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Write(writer, HKEY_CLASSES_ROOT, spec.c_str(), "v"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassesKey));
    EXPECT_EQ(ERROR_SUCCESS, Write(writer, HKEY_CURRENT_USER, "Allowed", "v"));
    EXPECT_EQ(ERROR_SUCCESS, ReadRaw(HKEY_CURRENT_USER, UnderProduct("Allowed"), "v").status);
  }
  // The length check comes first.
  EXPECT_EQ(ERROR_INVALID_NAME,
            SetRegString(HKEY_CLASSES_ROOT, std::string(237, 'x').c_str(), "v", "t"));

  SetRegWriteFaultForTest(HKEY_CURRENT_USER, ERROR_ACCESS_DENIED);
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetRegString("Short", "v", "t"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetRegNumber("Short", "v", 1));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Short")));

  SetRegWriteFaultForTest(HKEY_CLASSES_ROOT, ERROR_SUCCESS);
  EXPECT_EQ(ERROR_SUCCESS, SetRegString(HKEY_CLASSES_ROOT, spec.c_str(), "v", "t"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetRegString("Short", "v", "t"));
  EXPECT_EQ(ERROR_SUCCESS, SetRegString(HKEY_LOCAL_MACHINE, kMachineKey, "v", "t"));

  ClearRegWriteFaultsForTest();
  EXPECT_EQ(ERROR_SUCCESS, SetRegString("Short", "v", "t"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UnderProduct("Short")));
}

}  // namespace
