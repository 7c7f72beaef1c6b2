#include "integration/shortcuts.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "localization/language_file.h"
#include "localization/messages.h"
#include "platform/os_version.h"
#include "platform/shell.h"
#include "platform/shell_link.h"
#include "platform/text.h"
#include "support/localization_support.h"
#include "support/test_support.h"

namespace {

constexpr char kTestRoot[] = "C:\\KorvikShortcutsTest";
constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kWineDllOverrides[] = "Software\\Wine\\DllOverrides";

// Sets one registry value for as long as the object lives, then puts back
// what was there. A value that already held the new data was left over by
// an interrupted run: fallback (or, without one, no value) goes back then.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, std::string key, std::string name, DWORD type,
                      const std::string& data, const char* fallback)
      : root_(root), key_(std::move(key)), name_(std::move(name)), type_(type) {
    HKEY handle;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_QUERY_VALUE, &handle) == ERROR_SUCCESS) {
      char saved[2048];
      DWORD size = sizeof saved - 1;
      DWORD savedType = 0;
      if (RegQueryValueExA(handle, name_.c_str(), nullptr, &savedType,
                           reinterpret_cast<BYTE*>(saved), &size) == ERROR_SUCCESS) {
        saved[size] = '\0';
        existed_ = true;
        saved_ = saved;
        type_ = savedType;
      }
      RegCloseKey(handle);
    }
    if (existed_ && saved_ == data) {
      existed_ = fallback != nullptr;
      saved_ = fallback != nullptr ? fallback : "";
    }
    Write(type, data);
  }
  ~ScopedRegistryValue() {
    if (existed_) {
      Write(type_, saved_);
      return;
    }
    HKEY handle;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_SET_VALUE, &handle) == ERROR_SUCCESS) {
      RegDeleteValueA(handle, name_.c_str());
      RegCloseKey(handle);
    }
  }
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

 private:
  void Write(DWORD type, const std::string& data) {
    HKEY handle;
    if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    RegSetValueExA(handle, name_.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(handle);
  }

  HKEY root_;
  std::string key_;
  std::string name_;
  DWORD type_;
  bool existed_ = false;
  std::string saved_;
};

// The six places a link or program group of the archiver can be in.
enum Place {
  kUserDesktop,
  kCommonDesktop,
  kUserStartMenu,
  kCommonStartMenu,
  kUserGroup,
  kCommonGroup,
  kPlaceCount
};

struct PlaceInfo {
  const char* name;
  int csidl;
  bool group;
};

constexpr PlaceInfo kPlaces[kPlaceCount] = {
    {"user desktop", CSIDL_DESKTOPDIRECTORY, false},
    {"common desktop", CSIDL_COMMON_DESKTOPDIRECTORY, false},
    {"user start menu", CSIDL_STARTMENU, false},
    {"common start menu", CSIDL_COMMON_STARTMENU, false},
    {"user program group", CSIDL_PROGRAMS, true},
    {"common program group", CSIDL_COMMON_PROGRAMS, true},
};

constexpr unsigned Bit(Place place) { return 1u << place; }

std::string Describe(unsigned places) {
  std::string text;
  for (int place = 0; place < kPlaceCount; ++place) {
    if (places & (1u << place)) text += std::string(text.empty() ? "" : ", ") + kPlaces[place].name;
  }
  return "{" + text + "}";
}

using test::Exists;

using test::FolderEntries;

struct GroupRow {
  const char* linkUtf8;
  const char* target;
};

// The program group with the built-in texts.
const GroupRow kBuiltInGroup[] = {
    {"Korvik.lnk", "Korvik.exe"},
    {"Korvik 帮助.lnk", "Korvik.chm"},
    {"控制台 ORV 手册.lnk", "Orv.txt"},
};

const char kDescriptionUtf8[] = "处理 ORV、ZIP 和其它档案文件格式";

// Each test runs with COM ready, with a desktop of its own (Wine's user
// desktop is the Linux home folder), without Wine's menu builder (which
// mirrors every start-menu link into the Linux desktop's menus), and with
// no link or group of the archiver in any place, first and last.
class ShortcutsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    menuBuilder_ = std::make_unique<ScopedRegistryValue>(
        HKEY_CURRENT_USER, kWineDllOverrides, "winemenubuilder.exe", REG_SZ, "", nullptr);
    ASSERT_TRUE(test::RemoveTree(kTestRoot));
    test::MakeFolders(Root("Desktop"));
    userDesktop_ = std::make_unique<ScopedRegistryValue>(HKEY_CURRENT_USER, kUserShellFolders,
                                                         "Desktop", REG_EXPAND_SZ, Root("Desktop"),
                                                         "%USERPROFILE%\\Desktop");
    for (int place = 0; place < kPlaceCount; ++place) {
      char folder[MAX_PATH] = {};
      ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, kPlaces[place].csidl, nullptr, SHGFP_TYPE_CURRENT,
                                       folder))
          << kPlaces[place].name;
      folders_[place] = folder;
      paths_[place] = folders_[place] + (kPlaces[place].group ? "\\Korvik" : "\\Korvik.lnk");
    }
    ASSERT_EQ(Root("Desktop"), folders_[kUserDesktop]);
    ClearPlaces();
    std::memset(launchPath_, test::kGarbage, sizeof launchPath_);
  }

  void TearDown() override {
    extResource.Unload();
    ClearPlaces();
    userDesktop_.reset();
    menuBuilder_.reset();
    EXPECT_TRUE(test::RemoveTree(kTestRoot));
    OleUninitialize();
  }

  static std::string Root(const std::string& name) { return std::string(kTestRoot) + "\\" + name; }

  void ClearPlaces() {
    for (int place = 0; place < kPlaceCount; ++place) {
      // Not found when SetUp stopped early: an empty path is the drive root.
      if (paths_[place].empty()) continue;
      if (kPlaces[place].group) {
        EXPECT_TRUE(test::RemoveTree(paths_[place]));
      } else {
        DeleteFileA(paths_[place].c_str());
      }
    }
  }

  // A link file (its contents do not matter to a deletion) or a program
  // group holding a link, a file of the user's and a folder of the user's.
  void Populate(unsigned places) {
    for (int place = 0; place < kPlaceCount; ++place) {
      if (!(places & (1u << place))) continue;
      if (kPlaces[place].group) {
        test::MakeFolders(paths_[place] + "\\mine");
        ASSERT_TRUE(test::WriteWholeFile(paths_[place] + "\\Korvik.lnk", "old link"));
        ASSERT_TRUE(test::WriteWholeFile(paths_[place] + "\\mine\\notes.txt", "user"));
      } else {
        ASSERT_TRUE(test::WriteWholeFile(paths_[place], "old link"));
      }
    }
  }

  unsigned PresentPlaces() const {
    unsigned present = 0;
    for (int place = 0; place < kPlaceCount; ++place) {
      if (Exists(paths_[place])) present |= 1u << place;
    }
    return present;
  }

  // The link reads back with its target in programFolder and the built-in
  // description.
  static void ExpectLink(const std::string& link, const std::string& programFolder,
                         const char* targetName) {
    SCOPED_TRACE(test::Utf8(link));
    char target[kPathSize];
    char description[kMessageSize];
    std::memset(target, test::kGarbage, sizeof target);
    std::memset(description, test::kGarbage, sizeof description);
    EXPECT_TRUE(
        ReadShellLink(link.c_str(), target, sizeof target, description, sizeof description));
    EXPECT_EQ(test::Utf8(programFolder + "\\" + targetName), test::Utf8(target));
    EXPECT_EQ(kDescriptionUtf8, test::Utf8(description));
  }

  static void ExpectGroup(const std::string& group, const std::string& programFolder,
                          const std::vector<std::string>& linkNames) {
    SCOPED_TRACE(test::Utf8(group));
    std::vector<std::string> expected = linkNames;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, FolderEntries(group));
    const char* targets[] = {"Korvik.exe", "Korvik.chm", "Orv.txt"};
    for (std::size_t row = 0; row < linkNames.size(); ++row) {
      ExpectLink(group + "\\" + linkNames[row], programFolder, targets[row]);
    }
  }

  static std::vector<std::string> BuiltInLinkNames() {
    std::vector<std::string> names;
    for (const GroupRow& row : kBuiltInGroup) names.push_back(test::Acp(row.linkUtf8));
    return names;
  }

  bool LaunchPathUntouched() const {
    return std::all_of(std::begin(launchPath_), std::end(launchPath_),
                       [](char c) { return c == test::kGarbage; });
  }

  std::unique_ptr<ScopedRegistryValue> menuBuilder_;
  std::unique_ptr<ScopedRegistryValue> userDesktop_;
  std::string folders_[kPlaceCount];
  std::string paths_[kPlaceCount];
  char launchPath_[kPathSize];
};

IntegrationSettings Links(bool desktop, bool startMenu, bool programs) {
  IntegrationSettings settings;
  std::memset(&settings, 0, sizeof settings);
  settings.Desktop = desktop ? 1 : 0;
  settings.StartMenu = startMenu ? 1 : 0;
  settings.Programs = programs ? 1 : 0;
  return settings;
}

// --- In this process: Windows 7 (major version 6) --------------------------

TEST_F(ShortcutsTest, ProgramsOnMakesTwoGroupsOfThreeLinksAndNamesTheCommonOne) {
  ASSERT_EQ(6, NtMajorVersion());
  UpdateShortcuts(Links(false, false, true), launchPath_);

  EXPECT_EQ(Describe(Bit(kUserGroup) | Bit(kCommonGroup)), Describe(PresentPlaces()));
  ExpectGroup(paths_[kUserGroup], test::ExeFolder(), BuiltInLinkNames());
  ExpectGroup(paths_[kCommonGroup], test::ExeFolder(), BuiltInLinkNames());
  EXPECT_EQ(paths_[kCommonGroup], std::string(launchPath_, BoundedLength(launchPath_, kPathSize)));
}

TEST_F(ShortcutsTest, DesktopAndStartMenuGoToTheCommonFoldersAndTheUsersDesktopLinkGoes) {
  ASSERT_EQ(6, NtMajorVersion());
  Populate(Bit(kUserDesktop) | Bit(kUserStartMenu));
  UpdateShortcuts(Links(true, true, false), launchPath_);

  // The user's start menu is not a place of this version: its link stays.
  EXPECT_EQ(Describe(Bit(kCommonDesktop) | Bit(kCommonStartMenu) | Bit(kUserStartMenu)),
            Describe(PresentPlaces()));
  EXPECT_EQ("old link", test::ReadWholeFile(paths_[kUserStartMenu]));
  ExpectLink(paths_[kCommonDesktop], test::ExeFolder(), "Korvik.exe");
  ExpectLink(paths_[kCommonStartMenu], test::ExeFolder(), "Korvik.exe");
  EXPECT_TRUE(LaunchPathUntouched());
}

TEST_F(ShortcutsTest, SetupAgainRewritesLinksInPlaceAndKeepsTheUsersFiles) {
  Populate(Bit(kCommonDesktop) | Bit(kUserGroup) | Bit(kCommonGroup));
  UpdateShortcuts(Links(true, false, true), nullptr);

  ExpectLink(paths_[kCommonDesktop], test::ExeFolder(), "Korvik.exe");
  for (Place group : {kUserGroup, kCommonGroup}) {
    SCOPED_TRACE(kPlaces[group].name);
    std::vector<std::string> entries = BuiltInLinkNames();
    entries.push_back("mine");
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, FolderEntries(paths_[group]));
    EXPECT_EQ("user", test::ReadWholeFile(paths_[group] + "\\mine\\notes.txt"));
    ExpectLink(paths_[group] + "\\Korvik.lnk", test::ExeFolder(), "Korvik.exe");
  }
}

TEST_F(ShortcutsTest, TranslatedNamesRenameTheLinksAndRemovalTakesTheWholeGroup) {
  // The fixture library names 5102 "Korvik help" and lacks 5103, which
  // keeps its built-in name.
  ASSERT_TRUE(test::LoadFixtureLanguage("translated"));
  UpdateShortcuts(Links(false, false, true), nullptr);
  const std::vector<std::string> translated = {"Korvik.lnk", "Korvik help.lnk",
                                               test::Acp("控制台 ORV 手册.lnk")};
  ExpectGroup(paths_[kUserGroup], test::ExeFolder(), translated);
  ExpectGroup(paths_[kCommonGroup], test::ExeFolder(), translated);

  extResource.Unload();
  UpdateShortcuts(Links(false, false, false), nullptr);
  EXPECT_EQ(Describe(0), Describe(PresentPlaces()));
}

// A translation of a link name that would put the link into another folder,
// an alternate stream or a device is not used; the built-in name is.
TEST_F(ShortcutsTest, TranslatedNameThatLeavesTheGroupGivesWayToTheBuiltInName) {
  const std::string strays[] = {folders_[kUserGroup] + "\\..\\Evil.lnk",
                                folders_[kCommonGroup] + "\\..\\Evil.lnk", "C:Evil.lnk"};
  for (const std::string& stray : strays) DeleteFileA(stray.c_str());
  const std::string language = Root("uninstall.lng");
  const std::pair<const GroupRow*, const char*> translations[] = {
      {&kBuiltInGroup[1], "..\\\\..\\\\Evil"}, {&kBuiltInGroup[2], "C:Evil"}};
  std::string file = "***messages***\r\n";
  for (const auto& translation : translations) {
    std::string name = test::Acp(translation.first->linkUtf8);
    char key[kKeySize];
    MakeLanguageKey('s', nullptr, name.substr(0, name.size() - 4).c_str(), key);
    file += std::string(key) + "=\"" + translation.second + "\"\r\n";
  }
  ASSERT_TRUE(test::WriteWholeFile(language, file));
  languageResources.Load(language.c_str(), ResourceModule());
  ASSERT_TRUE(languageResources.IsLoaded());
  UpdateShortcuts(Links(false, false, true), nullptr);
  languageResources.Load("no such file.lng", ResourceModule());
  ExpectGroup(paths_[kUserGroup], test::ExeFolder(), BuiltInLinkNames());
  ExpectGroup(paths_[kCommonGroup], test::ExeFolder(), BuiltInLinkNames());
  for (const std::string& stray : strays) {
    EXPECT_FALSE(Exists(stray)) << stray;
    DeleteFileA(stray.c_str());
  }
}

TEST_F(ShortcutsTest, LaunchPathIsTheUsersGroupWhenTheCommonProgramsFolderIsMissing) {
  ScopedRegistryValue commonPrograms(HKEY_LOCAL_MACHINE, kUserShellFolders, "Common Programs",
                                     REG_EXPAND_SZ, Root("NoCommonPrograms"),
                                     "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs");
  char common[kPathSize];
  ASSERT_FALSE(GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS, common, sizeof common));

  UpdateShortcuts(Links(false, false, true), launchPath_);
  EXPECT_EQ(paths_[kUserGroup], std::string(launchPath_, BoundedLength(launchPath_, kPathSize)));
  EXPECT_EQ(Describe(Bit(kUserGroup)), Describe(PresentPlaces()));
  ExpectGroup(paths_[kUserGroup], test::ExeFolder(), BuiltInLinkNames());
  EXPECT_FALSE(Exists(Root("NoCommonPrograms")));
}

// Without its folder a place would come down to the bare name, taken
// relative to the current folder: whatever is called so there must stay.
TEST_F(ShortcutsTest, PlacesWhoseFoldersAreNotFoundAreLeftAlone) {
  const std::string current = Root("Current");
  test::MakeFolders(current + "\\Korvik");
  ASSERT_TRUE(test::WriteWholeFile(current + "\\Korvik.lnk", "the user's"));
  ASSERT_TRUE(test::WriteWholeFile(current + "\\Korvik\\notes.txt", "the user's"));
  char previous[kPathSize] = {};
  GetCurrentDirectoryA(sizeof previous, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
  {
    // Every place's folder points where there is none. (In a process that
    // has not looked up a folder yet, a missing desktop alone hides them all.)
    struct Missing {
      HKEY root;
      const char* value;
      const char* fallback;
    };
    const Missing missing[kPlaceCount] = {
        {HKEY_CURRENT_USER, "Desktop", "%USERPROFILE%\\Desktop"},
        {HKEY_LOCAL_MACHINE, "Common Desktop", "%PUBLIC%\\Desktop"},
        {HKEY_CURRENT_USER, "Start Menu",
         "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
        {HKEY_LOCAL_MACHINE, "Common Start Menu", "%ProgramData%\\Microsoft\\Windows\\Start Menu"},
        {HKEY_CURRENT_USER, "Programs",
         "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
        {HKEY_LOCAL_MACHINE, "Common Programs",
         "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs"},
    };
    std::vector<std::unique_ptr<ScopedRegistryValue>> missingFolders;
    for (int place = 0; place < kPlaceCount; ++place) {
      missingFolders.push_back(std::make_unique<ScopedRegistryValue>(
          missing[place].root, kUserShellFolders, missing[place].value, REG_EXPAND_SZ,
          Root("Missing") + "\\" + missing[place].value, missing[place].fallback));
      char folder[kPathSize];
      EXPECT_FALSE(GetSpecialFolderPath(kPlaces[place].csidl, folder, sizeof folder))
          << kPlaces[place].name;
    }

    struct Row {
      const char* name;
      bool on;
      char* launchPath;
    };
    const Row rows[] = {{"all on", true, launchPath_}, {"all off", false, nullptr}};
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      UpdateShortcuts(Links(row.on, row.on, row.on), row.launchPath);
      EXPECT_EQ((std::vector<std::string>{"Korvik", "Korvik.lnk"}), FolderEntries(current));
      EXPECT_EQ("the user's", test::ReadWholeFile(current + "\\Korvik.lnk"));
      EXPECT_EQ(std::vector<std::string>{"notes.txt"}, FolderEntries(current + "\\Korvik"));
      EXPECT_FALSE(Exists(Root("Missing")));
    }
    EXPECT_TRUE(LaunchPathUntouched());
  }
  SetCurrentDirectoryA(previous);
}

// --- In probe.exe, as each family of Windows ---------------------------------

class ShortcutsByVersionTest : public ShortcutsTest {
 protected:
  static std::string ProbeFolder() { return test::ExeFolder() + "\\helpers"; }

  static long RunProbe(const std::string& flags, const std::string& launchFile) {
    std::string command = "\"" + ProbeFolder() + "\\probe.exe\" shortcuts " + flags;
    if (!launchFile.empty()) command += " \"" + launchFile + "\"";
    return test::RunAndWait(command);
  }
};

TEST_F(ShortcutsByVersionTest, EveryFlagOnCreatesThePlacesOfTheVersion) {
  struct Row {
    const char* version;
    unsigned places;
    Place launch;
  };
  const unsigned groups = Bit(kUserGroup) | Bit(kCommonGroup);
  const Row rows[] = {
      {"win7", Bit(kCommonDesktop) | Bit(kCommonStartMenu) | groups, kCommonGroup},
      {"winxp", Bit(kUserDesktop) | Bit(kUserStartMenu) | groups, kCommonGroup},
      {"nt40", Bit(kUserDesktop) | Bit(kUserStartMenu) | groups, kCommonGroup},
      {"win98", Bit(kUserDesktop) | Bit(kUserStartMenu) | Bit(kUserGroup), kUserGroup},
  };
  const std::string launchFile = Root("launch.txt");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    ClearPlaces();
    DeleteFileA(launchFile.c_str());
    test::ScopedWindowsVersion version("probe.exe", row.version);
    ASSERT_EQ(0, RunProbe("111", launchFile));

    EXPECT_EQ(Describe(row.places), Describe(PresentPlaces()));
    for (int place = 0; place < kPlaceCount; ++place) {
      if (!(row.places & (1u << place))) continue;
      if (kPlaces[place].group) {
        ExpectGroup(paths_[place], ProbeFolder(), BuiltInLinkNames());
      } else {
        ExpectLink(paths_[place], ProbeFolder(), "Korvik.exe");
      }
    }
    EXPECT_EQ(paths_[row.launch], test::ReadWholeFile(launchFile));
  }
}

TEST_F(ShortcutsByVersionTest, EveryFlagOffRemovesThePlacesOfTheVersion) {
  struct Row {
    const char* version;
    unsigned remaining;
  };
  const Row rows[] = {
      {"win7", Bit(kUserStartMenu)},
      {"winxp", Bit(kCommonDesktop) | Bit(kCommonStartMenu)},
      {"win98", Bit(kCommonDesktop) | Bit(kCommonStartMenu) | Bit(kCommonGroup)},
  };
  const unsigned all = (1u << kPlaceCount) - 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    ClearPlaces();
    Populate(all);
    ASSERT_EQ(Describe(all), Describe(PresentPlaces()));
    test::ScopedWindowsVersion version("probe.exe", row.version);
    ASSERT_EQ(0, RunProbe("000", ""));
    EXPECT_EQ(Describe(row.remaining), Describe(PresentPlaces()));
  }
}

}  // namespace
