#include "platform/shell_link.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "localization/messages.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

constexpr char kTestFolder[] = "C:\\KorvikShellLinkTest";

using test::FolderEntries;

bool FileExists(const std::string& path) { return test::Exists(path); }

struct LinkFields {
  bool read = false;
  std::string target;
  std::string description;
};

LinkFields ReadBack(const std::string& link) {
  LinkFields fields;
  char target[kPathSize];
  char description[kMessageSize];
  std::memset(target, test::kGarbage, sizeof target);
  std::memset(description, test::kGarbage, sizeof description);
  fields.read = ReadShellLink(link.c_str(), target, sizeof target, description, sizeof description);
  fields.target = target;
  fields.description = description;
  return fields;
}

// COM for the link object, and a test folder of its own, empty at the start
// and gone at the end.
class ShellLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_TRUE(test::RemoveTree(kTestFolder));
    ASSERT_TRUE(CreateDirectoryA(kTestFolder, nullptr));
  }
  void TearDown() override {
    EXPECT_TRUE(test::RemoveTree(kTestFolder));
    OleUninitialize();
  }

  static std::string InFolder(const std::string& name) {
    return std::string(kTestFolder) + "\\" + name;
  }
};

// Counts the calls that reach it, as a COM object would take them.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return --references;
  }
  virtual ~CountingUnknown() = default;

  ULONG references = 1;
  int releases = 0;
};

TEST(ComInterfaceTest, ReleasesWhatItHoldsOnceWhenRefilledOrGone) {
  CountingUnknown first;
  CountingUnknown second;
  {
    ComInterface<IUnknown> holder;
    EXPECT_FALSE(holder);
    *holder.Out() = &first;
    EXPECT_TRUE(holder);
    EXPECT_EQ(0, first.releases);
    *holder.Out() = &second;
    EXPECT_EQ(1, first.releases);
    EXPECT_EQ(0, second.releases);
    holder.Reset();
    EXPECT_EQ(1, second.releases);
    EXPECT_FALSE(holder);
    holder.Reset();
    *holder.Out() = &second;
  }
  EXPECT_EQ(1, first.releases);
  EXPECT_EQ(2, second.releases);
  EXPECT_EQ(0u, first.references);
}

TEST_F(ShellLinkTest, LinkReadsBackWithItsTargetAndDescription) {
  struct Row {
    const char* name;
    std::string target;
    const char* description;  // null: none given
    std::string expectedDescription;
  };
  const Row rows[] = {
      {"existing target", "C:\\windows\\notepad.exe", "Plain text", "Plain text"},
      {"target not there yet", InFolder("Korvik.exe"), MessageText(IDS_SHORTCUT_COMMENT),
       test::Acp("处理 ORV、ZIP 和其它档案文件格式")},
      {"no description", InFolder("Orv.txt"), nullptr, ""},
      {"Chinese names", InFolder(test::Acp("控制台 ORV 手册.txt")), "", ""},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string link = InFolder("link" + std::to_string(index++) + ".lnk");
    EXPECT_TRUE(CreateShellLink(row.target.c_str(), row.description, link.c_str()));
    LinkFields fields = ReadBack(link);
    EXPECT_TRUE(fields.read);
    EXPECT_EQ(test::Utf8(row.target), test::Utf8(fields.target));
    EXPECT_EQ(test::Utf8(row.expectedDescription), test::Utf8(fields.description));
  }
}

// The link carries the target and description only: the shell then starts
// the target in its own folder with its own icon.
TEST_F(ShellLinkTest, LinkSetsNothingBesideTargetAndDescription) {
  std::string link = InFolder("Korvik.lnk");
  ASSERT_TRUE(CreateShellLink("C:\\windows\\notepad.exe", "Korvik", link.c_str()));

  IShellLinkA* shellLink = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkA, reinterpret_cast<void**>(&shellLink))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  WCHAR widePath[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, widePath, MAX_PATH);
  EXPECT_TRUE(SUCCEEDED(file->Load(widePath, STGM_READ)));

  char text[MAX_PATH];
  std::memset(text, test::kGarbage, sizeof text);
  shellLink->GetArguments(text, sizeof text);
  EXPECT_STREQ("", text);
  std::memset(text, test::kGarbage, sizeof text);
  shellLink->GetWorkingDirectory(text, sizeof text);
  EXPECT_STREQ("", text);
  std::memset(text, test::kGarbage, sizeof text);
  int iconIndex = -7;
  shellLink->GetIconLocation(text, sizeof text, &iconIndex);
  EXPECT_STREQ("", text);
  EXPECT_EQ(0, iconIndex);
  WORD hotkey = 0xBDBD;
  shellLink->GetHotkey(&hotkey);
  EXPECT_EQ(0, hotkey);
  int show = -7;
  shellLink->GetShowCmd(&show);
  EXPECT_EQ(SW_SHOWNORMAL, show);

  file->Release();
  shellLink->Release();
}

TEST_F(ShellLinkTest, ExistingLinkIsOverwritten) {
  std::string link = InFolder("Korvik.lnk");
  ASSERT_TRUE(CreateShellLink("C:\\old\\Old.exe", "old", link.c_str()));
  ASSERT_TRUE(CreateShellLink("C:\\new\\Korvik.exe", "new", link.c_str()));
  LinkFields fields = ReadBack(link);
  EXPECT_EQ("C:\\new\\Korvik.exe", fields.target);
  EXPECT_EQ("new", fields.description);
  EXPECT_EQ(std::vector<std::string>{"Korvik.lnk"}, FolderEntries(kTestFolder));
}

TEST_F(ShellLinkTest, LinkInAMissingFolderIsNotWritten) {
  std::string link = InFolder("missing\\Korvik.lnk");
  EXPECT_FALSE(CreateShellLink("C:\\windows\\notepad.exe", "x", link.c_str()));
  EXPECT_TRUE(FolderEntries(kTestFolder).empty());
}

// The link path may take 259 UTF-16 units and its terminator, however many
// bytes it has in the code page. A longer one does not convert whole; cut, it
// would name another file, so nothing at all is saved.
TEST_F(ShellLinkTest, LinkPathLimitIsCountedInWideCharacters) {
  struct Row {
    const char* unitUtf8;  // one UTF-16 unit; the Chinese one is 2 bytes here
    std::size_t wideLength;
    bool written;
  };
  const Row rows[] = {
      {"a", 259, true}, {"a", 260, false}, {"a", 300, false}, {"档", 259, true}, {"档", 260, false},
  };
  constexpr std::size_t kFolderLevels = 4;
  constexpr std::size_t kFolderUnits = 50;  // Linux takes 255 bytes a name
  const std::string extension = ".lnk";
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.unitUtf8) + " " + std::to_string(row.wideLength));
    ASSERT_TRUE(test::RemoveTree(InFolder("deep")));
    const std::string unit = test::Acp(row.unitUtf8);
    std::string folder = InFolder("deep");
    std::size_t units = folder.size();  // ASCII so far
    for (std::size_t level = 0; level < kFolderLevels; ++level) {
      std::string name;
      for (std::size_t i = 0; i < kFolderUnits; ++i) name += unit;
      folder += "\\" + name;
      units += 1 + kFolderUnits;
    }
    test::MakeFolders(folder);
    ASSERT_TRUE(FileExists(folder));
    std::string link = folder + "\\";
    units += 1;
    while (units + extension.size() < row.wideLength) {
      link += unit;
      ++units;
    }
    link += extension;
    units += extension.size();
    ASSERT_EQ(row.wideLength, units);
    if (unit.size() > 1) {
      ASSERT_GT(link.size(), kLinkPathWideSize);  // bytes in the code page
    }

    EXPECT_EQ(row.written, CreateShellLink("C:\\windows\\notepad.exe", "x", link.c_str()));
    if (row.written) {
      EXPECT_EQ("C:\\windows\\notepad.exe", ReadBack(link).target);
    } else {
      EXPECT_TRUE(FolderEntries(folder).empty());
      EXPECT_FALSE(ReadBack(link).read);
    }
  }
}

// A link holds a target of 259 UTF-16 units. Given a longer one, Wine's link
// object keeps the drive root instead: such a link is not written at all.
TEST_F(ShellLinkTest, TargetLimitIsCountedInWideCharacters) {
  struct Row {
    const char* unitUtf8;
    std::size_t wideLength;
    bool written;
  };
  const Row rows[] = {
      {"x", 259, true}, {"x", 260, false}, {"x", 600, false}, {"档", 259, true}, {"档", 260, false},
  };
  const std::string link = InFolder("Korvik.lnk");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.unitUtf8) + " " + std::to_string(row.wideLength));
    DeleteFileA(link.c_str());
    const std::string unit = test::Acp(row.unitUtf8);
    std::string target = "C:\\";
    for (std::size_t units = 3; units + 4 < row.wideLength; ++units) target += unit;
    target += ".exe";

    EXPECT_EQ(row.written, CreateShellLink(target.c_str(), "x", link.c_str()));
    if (row.written) {
      EXPECT_EQ(test::Utf8(target), test::Utf8(ReadBack(link).target));
    } else {
      EXPECT_TRUE(FolderEntries(kTestFolder).empty());
    }
  }
}

TEST_F(ShellLinkTest, ReadingWhatIsNoLinkGivesEmptyTexts) {
  ASSERT_TRUE(test::WriteWholeFile(InFolder("text.lnk"), "not a link"));
  const std::string paths[] = {InFolder("missing.lnk"), InFolder("text.lnk"), kTestFolder};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    LinkFields fields = ReadBack(path);
    EXPECT_FALSE(fields.read);
    EXPECT_EQ("", fields.target);
    EXPECT_EQ("", fields.description);
  }
}

TEST_F(ShellLinkTest, ReadingIntoSmallBuffersCutsAndTerminates) {
  std::string link = InFolder("Korvik.lnk");
  ASSERT_TRUE(CreateShellLink("C:\\windows\\notepad.exe", "Description", link.c_str()));
  char target[12];
  char description[5];
  std::memset(target, test::kGarbage, sizeof target);
  std::memset(description, test::kGarbage, sizeof description);
  EXPECT_TRUE(ReadShellLink(link.c_str(), target, sizeof target, description, sizeof description));
  EXPECT_STREQ("C:\\windows\\", target);
  EXPECT_STREQ("Desc", description);
}

}  // namespace
