// The integration clean-up end to end. probe.exe, copied into the
// installation folder, makes what a confirmed setup makes (the setup
// dialogs themselves are not used); then the real uninstall.exe runs
// silently from that folder, and the registry and the shortcut folders are
// looked at with the plain Windows functions.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "e2e/sandbox.h"
#include "support/test_support.h"

namespace {

using e2e::InterpreterStandIn;
using e2e::Sandbox;
using test::KeyExists;
using test::kVolumeCount;
using test::ReadText;
using test::SpecialFolder;
using test::ValueNames;
using test::Volume;
using test::WriteNumber;
using test::WriteText;

// 14 archive types, Desktop, StartMenu, Programs, ShellExt, CascadedMenu,
// MenuIcons: the flags of "probe integrate".
constexpr char kEverythingOn[] = "11111111111111111111";

constexpr DWORD kRemovalTimeoutMs = 30000;  // the batch file pauses 2 s first

constexpr char kProductKey[] = "Software\\Korvik";  // under HKEY_CURRENT_USER
// The same product's settings of another user, under HKEY_USERS.
constexpr char kOtherUserProductKey[] = ".Default\\Software\\Korvik";
constexpr char kAppPathKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvik.exe";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvik archiver";
constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr char kClassId32[] = "{6F2A9C31-5B17-4C3E-8A0D-D3B58C1E47A2}";
constexpr char kClassId64[] = "{6F2A9C31-5B27-4C3E-8A0D-D3B58C1E47A2}";
const char* const kClassIds[] = {kClassId32, kClassId64};

// Every single extension of the 14 archive types.
const char* const kExtensions[] = {".orv", ".zip", ".cab", ".arj", ".lzh", ".lha", ".ace", ".7z",
                                   ".tar", ".gz",  ".tgz", ".uue", ".xxe", ".uu",  ".bz2", ".tbz2",
                                   ".bz",  ".tbz", ".jar", ".iso", ".z",   ".taz"};
const char* const kProgramIds[] = {"Korvik", "Korvik.ZIP", "Korvik.REV"};

// The parents of the handler keys named by the handler name; those keys
// stay after an uninstall, without a default value.
const char* const kNameKeyedParents[] = {
    "*\\shellex\\ContextMenuHandlers",         "Folder\\shellex\\ContextMenuHandlers",
    "Folder\\shellex\\DragDropHandlers",       "Drive\\shellex\\DragDropHandlers",
    "Directory\\shellex\\ContextMenuHandlers", "Directory\\shellex\\DragDropHandlers"};
// The one handler key named by the class id outside the program ids.
constexpr char kExeSheetHandlers[] = "exefile\\shellex\\PropertySheetHandlers";

constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;

// What the installer lists: every file of the installation, with the
// templates that setup made beside the program.
constexpr char kListFile[] =
    "Korvik.exe\r\norvext.dll\r\norvext64.dll\r\nprobe.exe\r\norvnew.dat\r\nzipnew.dat\r\n"
    "uninstall.exe\r\nUninstall.lst\r\n";

// A value as a registry snapshot shows it ("TYPE:HEX BYTES"), or "<absent>".
std::string StoredValue(HKEY root, const std::string& path, const char* name) {
  test::RegistrySnapshot snapshot = test::SnapshotRegistry(root, path);
  auto value = snapshot.find(path + "|" + name);
  return value == snapshot.end() ? "<absent>" : value->second;
}

// The empty ZIP archive as a binary value.
constexpr char kZipImageData[] =
    "3:50 4B 05 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

// --- Keys and folders the tests touch ---------------------------------------

// Another user's settings, reset with the product's footprint.
const std::vector<test::RegistryKey> kPrepared = {{HKEY_USERS, kOtherUserProductKey}};

// --- The installation, setup and uninstall ---------------------------------

// probe.exe plays setup from the installation folder, so that the files
// "beside the program" are the installation's: the extension libraries
// (only their presence counts) and the templates it makes.
void Install(const Sandbox& sandbox) {
  ASSERT_TRUE(sandbox.CopyIn(test::ExeFolder() + "\\helpers\\probe.exe", "probe.exe"));
  ASSERT_TRUE(sandbox.WriteFile("orvext.dll", "32-bit shell extension"));
  ASSERT_TRUE(sandbox.WriteFile("orvext64.dll", "64-bit shell extension"));
  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", kListFile));
}

long RunSetup(const Sandbox& sandbox, const char* flags) {
  return test::RunAndWait("\"" + sandbox.Path("probe.exe") + "\" integrate " + flags);
}

// "uninstall.exe /s" from the installation folder, to its end; it must show
// nothing. With an interpreter, the batch file is handed to that instead.
void RunSilentUninstall(const Sandbox& sandbox, const std::string& interpreter = "",
                        const std::string& extraEnv = "") {
  test::MakeFolders(sandbox.TempFolder());
  driver::StartOptions options = sandbox.Options("/s");
  options.setEnv = {"TEMP=" + sandbox.TempFolder(), "TMP=" + sandbox.TempFolder()};
  if (!interpreter.empty()) options.setEnv.push_back("COMSPEC=" + interpreter);
  if (!extraEnv.empty()) options.setEnv.push_back(extraEnv);
  driver::Process process;
  ASSERT_TRUE(driver::Start(process, options));
  e2e::ExpectEndsQuietly(process);
}

// What the tests below rely on having been made by setup; without it the
// clean-up would have nothing to do and they would prove nothing.
void ExpectSetupMade(const Sandbox& sandbox, bool ntFamily) {
  EXPECT_EQ("Korvik.ZIP", ReadText(HKEY_CLASSES_ROOT, ".zip", ""));
  EXPECT_EQ("Korvik", ReadText(HKEY_CLASSES_ROOT, ".taz", ""));
  EXPECT_EQ("Korvik", ReadText(HKEY_CLASSES_ROOT, Volume(ntFamily ? 29 : 99), ""));
  EXPECT_EQ("Korvik.REV", ReadText(HKEY_CLASSES_ROOT, ".rev", ""));
  EXPECT_EQ("\"" + sandbox.Path("Korvik.exe") + "\" \"%1\"",
            ReadText(HKEY_CLASSES_ROOT, "Korvik\\shell\\open\\command", ""));
  EXPECT_EQ(sandbox.Path("orvext.dll"),
            ReadText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId32 + "\\InProcServer32",
                     "", test::kProgramView));
  if (test::IsWow64()) {
    // Wine quirk: a program given the version "win98" is still told that it
    // runs under WOW64, but its KEY_WOW64_64KEY writes land in the 32-bit
    // view.
    const std::string server = std::string("CLSID\\") + kClassId64 + "\\InProcServer32";
    EXPECT_EQ(sandbox.Path("orvext64.dll"),
              ReadText(HKEY_CLASSES_ROOT, server, "", ntFamily ? kView64 : kView32));
  }
  EXPECT_EQ(sandbox.Path("Korvik.exe"), ReadText(HKEY_LOCAL_MACHINE, kAppPathKey, ""));
  EXPECT_EQ("\"" + sandbox.Path("probe.exe") + "\"",
            ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
  EXPECT_EQ("Korvik shell extension", ReadText(HKEY_LOCAL_MACHINE, kApprovedKey, kClassId32));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Setup\\MenuItems"));
  // The 9x family keeps the template in the registry instead.
  EXPECT_EQ(ntFamily, sandbox.Exists("zipnew.dat"));
  EXPECT_TRUE(test::Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\Korvik\\Korvik.lnk"));
}

// The foreign registrations the tests start from: ".zip" with a content
// type, a new-file entry of several values and a subkey; ".cab" with a
// template file; ".jar" with a content type; ".rev" with a class, a content
// type and two subkeys; the volume extension ".o05" with a content type.
void WriteFormerOwners() {
  WriteText(HKEY_CLASSES_ROOT, ".zip", "", "WinFoo.zip");
  WriteText(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/x-winfoo-zip");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile", "");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Command", "\"C:\\WinFoo\\foo.exe\" /new \"%1\"");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "IconPath", "C:\\WinFoo\\winfoo.exe,3");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\OpenWithProgids", "WinFoo.zip", "");
  WriteText(HKEY_CLASSES_ROOT, ".cab", "", "WinFoo.cab");
  WriteText(HKEY_CLASSES_ROOT, ".cab\\ShellNew", "FileName", "C:\\WinFoo\\empty.cab");
  WriteText(HKEY_CLASSES_ROOT, ".jar", "", "jarfile");
  WriteText(HKEY_CLASSES_ROOT, ".jar", "Content Type", "application/java-archive");
  WriteText(HKEY_CLASSES_ROOT, ".rev", "", "OldRev.REV");
  WriteText(HKEY_CLASSES_ROOT, ".rev", "Content Type", "application/x-oldrev");
  WriteText(HKEY_CLASSES_ROOT, ".rev\\OpenWithProgids", "OldRev.REV", "");
  WriteText(HKEY_CLASSES_ROOT, ".rev\\PersistentHandler", "", "{5E941D80-BF96-11CD-B579}");
  WriteText(HKEY_CLASSES_ROOT, ".o05", "", "OldVolume.File");
  WriteText(HKEY_CLASSES_ROOT, ".o05", "Content Type", "application/x-oldvolume");
}
const char* const kFormerlyOwned[] = {".zip", ".cab", ".jar", ".rev", ".o05"};

bool FormerlyOwned(const std::string& extension) {
  for (const char* owned : kFormerlyOwned) {
    if (extension == owned) return true;
  }
  return false;
}

std::vector<test::RegistrySnapshot> FormerOwnersSnapshot() {
  std::vector<test::RegistrySnapshot> former;
  for (const char* extension : kFormerlyOwned) {
    former.push_back(test::SnapshotRegistry(HKEY_CLASSES_ROOT, extension));
  }
  return former;
}

// Another program's registration made between setup and uninstall below
// ".7z", which did not exist before setup.
constexpr char kOtherSince[] = ".7z\\OpenWithProgids";

// Every former owner's keys and values as they were, and the other program's
// registration below ".7z" as it made it, without the product's value.
void ExpectFormerOwnersBack(const std::vector<test::RegistrySnapshot>& former,
                            const test::RegistrySnapshot& otherSince) {
  for (std::size_t i = 0; i < former.size(); ++i) {
    SCOPED_TRACE(kFormerlyOwned[i]);
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(
                  former[i], test::SnapshotRegistry(HKEY_CLASSES_ROOT, kFormerlyOwned[i])));
  }
  EXPECT_EQ(std::vector<std::string>{}, ValueNames(HKEY_CLASSES_ROOT, ".7z"));
  EXPECT_EQ(std::vector<std::string>{},
            test::SnapshotDifferences(otherSince,
                                      test::SnapshotRegistry(HKEY_CLASSES_ROOT, kOtherSince)));
  for (const char* extension : kExtensions) {
    if (FormerlyOwned(extension) || std::strcmp(extension, ".7z") == 0) continue;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, extension)) << extension;
  }
}

// Everything of the product is gone, but for the six name-keyed handler
// keys, which stay without any value.
void ExpectOnlyWhatStays() {
  for (int number = 0; number < kVolumeCount; ++number) {
    if (FormerlyOwned(Volume(number))) continue;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Volume(number))) << Volume(number);
  }
  for (const char* id : kProgramIds) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, id)) << id;
  for (const char* classId : kClassIds) {
    for (REGSAM view : {kView32, kView64}) {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + classId, view))
          << classId << " view " << view;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(kExeSheetHandlers) + "\\" + classId))
        << classId;
    EXPECT_FALSE(test::ReadRaw(HKEY_LOCAL_MACHINE, kApprovedKey, classId).present) << classId;
  }
  for (const char* parent : kNameKeyedParents) {
    for (const char* name : test::HandlerNamesInUse()) {
      std::string key = std::string(parent) + "\\" + name;
      EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
      EXPECT_EQ(std::vector<std::string>{}, ValueNames(HKEY_CLASSES_ROOT, key)) << key;
    }
  }
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  for (const test::ShortcutPlace& place : test::kShortcutPlaces) {
    std::string path = test::ShortcutPath(place);
    EXPECT_FALSE(path.empty() || test::Exists(path)) << place.csidl << " " << path;
  }
}

void ExpectSameSnapshot(const test::RegistrySnapshot& before, const test::RegistrySnapshot& after,
                        test::CallSite site = test::Here()) {
  ::testing::ScopedTrace trace(site.file, site.line, "ExpectSameSnapshot");
  EXPECT_EQ(std::vector<std::string>{}, test::SnapshotDifferences(before, after));
}

// --- Tests -----------------------------------------------------------------

TEST(CleanupTest, SilentUninstallLeavesOnlyWhatStaysAndGivesTypesBackToTheirFormerOwners) {
  test::ScopedFootprintReset reset(kPrepared);
  Sandbox sandbox("cleanup-all");
  Install(sandbox);
  WriteFormerOwners();
  std::vector<test::RegistrySnapshot> former = FormerOwnersSnapshot();
  // Another user's settings.
  WriteNumber(HKEY_USERS, std::string(kOtherUserProductKey) + "\\Setup\\Links", "Desktop", 1);
  test::RegistrySnapshot otherUser = test::SnapshotRegistry(HKEY_USERS, kOtherUserProductKey);

  ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
  ExpectSetupMade(sandbox, true);
  WriteText(HKEY_CLASSES_ROOT, kOtherSince, "Other.7z", "");
  test::RegistrySnapshot otherSince = test::SnapshotRegistry(HKEY_CLASSES_ROOT, kOtherSince);
  // What else the archiver keeps under its key, deeper down.
  WriteText(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Archiver\\History\\Recent", "0",
            "C:\\archive.orv");
  // A link an older setup left on the user's desktop, and a file the user
  // put into the program group.
  const std::string oldLink = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Korvik.lnk";
  ASSERT_TRUE(test::WriteWholeFile(oldLink, "old link"));
  const std::string userFile = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvik\\notes.txt";
  ASSERT_TRUE(test::WriteWholeFile(userFile, "notes"));

  RunSilentUninstall(sandbox);

  ExpectFormerOwnersBack(former, otherSince);
  ExpectOnlyWhatStays();
  EXPECT_EQ(std::vector<std::string>{},
            test::SnapshotDifferences(otherUser,
                                      test::SnapshotRegistry(HKEY_USERS, kOtherUserProductKey)));
  // The installation is gone too, templates and libraries included: the
  // batch file removes the program and the emptied folder.
  EXPECT_TRUE(test::WaitForPath(sandbox.Folder(), false, kRemovalTimeoutMs));
}

// They keep what they set; the product's new-file entry, which they left in
// place, goes, and the one it had replaced comes back.
TEST(CleanupTest, ProgramsThatTookATypeOverSinceSetupKeepIt) {
  test::ScopedFootprintReset reset(kPrepared);
  Sandbox sandbox("cleanup-taken");
  Install(sandbox);
  WriteFormerOwners();
  test::RegistrySnapshot formerNewFile =
      test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".zip\\ShellNew");
  ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
  ExpectSetupMade(sandbox, true);

  struct Row {
    const char* extension;
    const char* newOwner;
  };
  // ".zip" had a former owner, ".arj" and ".iso" did not exist before
  // setup; ".rev" is the recovery volumes' extension.
  const Row rows[] = {
      {".zip", "Other.zip"},
      {".arj", "Other.arj"},
      {".iso", "Other.iso"},
      {".rev", "Other.REV"},
  };
  std::vector<test::RegistrySnapshot> taken;
  for (const Row& row : rows) {
    WriteText(HKEY_CLASSES_ROOT, row.extension, "", row.newOwner);
    WriteText(HKEY_CLASSES_ROOT, row.extension, "Content Type", "application/x-other");
    taken.push_back(test::SnapshotRegistry(HKEY_CLASSES_ROOT, row.extension));
  }
  ASSERT_EQ(1u, taken[0].erase(".zip\\ShellNew|FileName"));
  taken[0].insert(formerNewFile.begin(), formerNewFile.end());

  RunSilentUninstall(sandbox, InterpreterStandIn(sandbox));

  for (std::size_t i = 0; i < taken.size(); ++i) {
    SCOPED_TRACE(rows[i].extension);
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(
                  taken[i], test::SnapshotRegistry(HKEY_CLASSES_ROOT, rows[i].extension)));
  }
  // The types still the product's were released all the same.
  EXPECT_EQ("WinFoo.cab", ReadText(HKEY_CLASSES_ROOT, ".cab", ""));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tar"));
  for (const char* id : kProgramIds) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, id)) << id;
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
}

// Keys of another program under HKEY_LOCAL_MACHINE that look like the
// product's handler keys, and links to them in the product's places: made
// after setup, gone again with the object.
class ScopedForeignLinks {
 public:
  ScopedForeignLinks() {
    const std::string handlers =
        std::string(kNameKeyedParents[0]) + "\\" + test::HandlerNamesInUse()[0];
    places_ = {std::string(kExeSheetHandlers) + "\\" + kClassId32, handlers};
    const std::string targets[] = {std::string(kForeignTarget) + "\\Empty",
                                   std::string(kForeignTarget) + "\\Handler"};
    WriteText(HKEY_LOCAL_MACHINE, targets[0], "", "");
    WriteText(HKEY_LOCAL_MACHINE, targets[1], "", kClassId32);
    WriteText(HKEY_LOCAL_MACHINE, targets[1] + "\\Child", "v", "x");
    for (std::size_t i = 0; i < places_.size(); ++i) {
      test::DeleteKeyTree(HKEY_CLASSES_ROOT, places_[i]);
      made_ = test::CreateRegistryLink(HKEY_CLASSES_ROOT, places_[i],
                                       test::KernelKeyPath(HKEY_LOCAL_MACHINE, targets[i])) &&
              (i == 0 || made_);
    }
  }
  ~ScopedForeignLinks() {
    for (const std::string& place : places_) test::DeleteRegistryLink(HKEY_CLASSES_ROOT, place);
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, kForeignTarget);
  }
  ScopedForeignLinks(const ScopedForeignLinks&) = delete;
  ScopedForeignLinks& operator=(const ScopedForeignLinks&) = delete;

  bool Made() const { return made_; }
  static test::RegistrySnapshot Targets() {
    return test::SnapshotRegistry(HKEY_LOCAL_MACHINE, kForeignTarget);
  }

 private:
  static constexpr char kForeignTarget[] = "System\\KorvikTestTarget";
  std::vector<std::string> places_;
  bool made_ = false;
};

// A user who can write below HKEY_CLASSES_ROOT puts links in the product's
// handler places after setup: the silent uninstall deletes nothing where
// they point.
TEST(CleanupTest, LinksInTheProductsHandlerPlacesLeadTheUninstallNowhere) {
  test::ScopedFootprintReset reset(kPrepared);
  Sandbox sandbox("cleanup-links");
  Install(sandbox);
  ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
  ScopedForeignLinks links;  // goes before the reset, which would follow them
  ASSERT_TRUE(links.Made());
  const test::RegistrySnapshot targets = ScopedForeignLinks::Targets();
  ASSERT_EQ(7u, targets.size());

  RunSilentUninstall(sandbox);

  EXPECT_EQ(std::vector<std::string>{},
            test::SnapshotDifferences(targets, ScopedForeignLinks::Targets()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
}

// ".rev" did not exist before setup: it loses the product's default value
// while that still names the product's class, and stays for the subkey
// that the shell (not the product) made below it.
TEST(CleanupTest, RecoveryVolumeExtensionIsReleasedOnlyWhileItNamesTheProductsClass) {
  struct Row {
    const char* owner;  // ".rev" after setup; null: as setup left it
    bool stays;
  };
  const Row rows[] = {
      {nullptr, false},
      {"KORVIK.rev", false},  // program ids do not depend on letter case
      {"Other.REV", true},
      {"", true},  // cleared by someone else: no longer the product's
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.owner ? std::string("\"") + row.owner + "\"" : "as setup left it");
    test::ScopedFootprintReset reset(kPrepared);
    Sandbox sandbox("cleanup-rev");
    Install(sandbox);
    ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
    ASSERT_EQ("Korvik.REV", ReadText(HKEY_CLASSES_ROOT, ".rev", ""));
    WriteText(HKEY_CLASSES_ROOT, ".rev\\OpenWithProgids", "Korvik.REV", "");
    if (row.owner) WriteText(HKEY_CLASSES_ROOT, ".rev", "", row.owner);
    test::RegistrySnapshot before = test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".rev");

    RunSilentUninstall(sandbox, InterpreterStandIn(sandbox));

    if (!row.stays) before.erase(".rev|");
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(before, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".rev")));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Korvik.REV"));
  }
}

// Every registry write under HKEY_CLASSES_ROOT refused: the release gives
// nothing back, so the saved owners of the extensions still the product's
// outlive the uninstall (the rest of the product key goes), and a second
// uninstall, run with the rights, gives them back.
TEST(CleanupTest, RefusedReleaseKeepsTheSavedOwnersForASecondUninstall) {
  test::ScopedFootprintReset reset(kPrepared);
  Sandbox sandbox("cleanup-refused");
  Install(sandbox);
  WriteFormerOwners();
  std::vector<test::RegistrySnapshot> former = FormerOwnersSnapshot();
  ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
  ExpectSetupMade(sandbox, true);
  WriteText(HKEY_CLASSES_ROOT, kOtherSince, "Other.7z", "");
  test::RegistrySnapshot otherSince = test::SnapshotRegistry(HKEY_CLASSES_ROOT, kOtherSince);
  ASSERT_TRUE(sandbox.CopyIn(test::WindowsPath(KORVIK_UNINSTALL_FAULTY_EXE), "uninstall.exe"));
  std::string interpreter = InterpreterStandIn(sandbox);

  RunSilentUninstall(sandbox, interpreter, "KORVIK_TEST_DENY_WRITES=HKCR");

  const std::string setup = std::string(kProductKey) + "\\Setup";
  for (const char* extension : {".zip", ".cab", ".jar", ".rev"}) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(std::string(extension) == ".zip"   ? "Korvik.ZIP"
              : std::string(extension) == ".rev" ? "Korvik.REV"
                                                 : "Korvik",
              ReadText(HKEY_CLASSES_ROOT, extension, ""));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, setup + "\\" + extension));
  }
  // Released all the same: they did not exist, so nothing had to be written.
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".orv"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, setup + "\\.orv"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, setup + "\\MenuItems"));
  EXPECT_EQ(std::vector<std::string>{}, ValueNames(HKEY_CURRENT_USER, setup));
  EXPECT_EQ(std::vector<std::string>{}, ValueNames(HKEY_CURRENT_USER, kProductKey));

  ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", kListFile));
  RunSilentUninstall(sandbox, interpreter);

  ExpectFormerOwnersBack(former, otherSince);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
}

TEST(CleanupTest, SecondCleanUpChangesNothing) {
  struct Row {
    const char* name;
    bool setupFirst;  // else a system where setup never ran
  };
  const Row rows[] = {{"after an uninstall", true}, {"where setup never ran", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ScopedFootprintReset reset(kPrepared);
    Sandbox sandbox("cleanup-again");
    Install(sandbox);
    std::string interpreter = InterpreterStandIn(sandbox);
    if (row.setupFirst) {
      WriteFormerOwners();
      ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
      ExpectSetupMade(sandbox, true);
      RunSilentUninstall(sandbox, interpreter);
      ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
      // The program stayed (its batch file went to the stand-in); the list
      // file is the installer's again.
      ASSERT_TRUE(sandbox.Exists("uninstall.exe"));
      ASSERT_TRUE(sandbox.WriteFile("Uninstall.lst", kListFile));
    }
    test::RegistrySnapshot before = test::SnapshotFootprint(kPrepared);
    ASSERT_NE(before.end(), before.find("HKCR\\CLSID\\"));  // the classes were read

    RunSilentUninstall(sandbox, interpreter);

    ExpectSameSnapshot(before, test::SnapshotFootprint(kPrepared));
    EXPECT_FALSE(sandbox.Exists("Uninstall.lst"));  // the run went through
  }
}

TEST(CleanupTest, NothingIsCleanedUpBeforeTheListFileIsOpen) {
  struct Row {
    const char* name;
    const char* args;
    bool listFile;
    int answer;  // the button that answers the one message box
  };
  const Row rows[] = {
      {"the question answered No", "", true, IDNO},
      {"no list file", "/s", false, IDOK},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ScopedFootprintReset reset(kPrepared);
    Sandbox sandbox("cleanup-stopped");
    Install(sandbox);
    ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
    ExpectSetupMade(sandbox, true);
    if (!row.listFile) {
      ASSERT_TRUE(DeleteFileA(sandbox.Path("Uninstall.lst").c_str()));
    }
    test::RegistrySnapshot before = test::SnapshotFootprint(kPrepared);

    driver::Process process;
    ASSERT_TRUE(driver::Start(process, sandbox.Options(row.args)));
    HWND box = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(driver::Press(box, row.answer));
    ASSERT_TRUE(driver::WaitForClosed(box, e2e::kDialogTimeoutMs));
    DWORD code = 1;
    EXPECT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);

    ExpectSameSnapshot(before, test::SnapshotFootprint(kPrepared));
    EXPECT_TRUE(sandbox.Exists("uninstall.exe"));
  }
}

// The snapshot walks the product's keys whole and lists the keys around
// them: a stray key or value a fault could put beside the product's shows.
TEST(CleanupTest, SnapshotSeesWritesBesideTheProductsKeys) {
  struct Row {
    HKEY root;
    const char* key;  // deleted afterwards, unless value names one in it
    const char* value;
    REGSAM view;
  };
  const Row rows[] = {
      {HKEY_CLASSES_ROOT, "Korvik.Test", nullptr, 0},
      {HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\KorvikTest", nullptr, 0},
      {HKEY_CLASSES_ROOT, "CLSID\\{0C8E5D2B-7A31-4F96-B2E4-5D0A9C7E3F18}", nullptr, kView64},
      {HKEY_CURRENT_USER, "Software\\KorvikTest", nullptr, 0},
      {HKEY_LOCAL_MACHINE, "Software\\KorvikTest", nullptr, 0},
      {HKEY_LOCAL_MACHINE, kApprovedKey, "{0C8E5D2B-7A31-4F96-B2E4-5D0A9C7E3F18}", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.key) + (row.value ? std::string("|") + row.value : ""));
    test::RegistrySnapshot before = test::SnapshotFootprint(kPrepared);
    WriteText(row.root, row.key, row.value ? row.value : "", "x", row.view);
    EXPECT_NE(std::vector<std::string>{},
              test::SnapshotDifferences(before, test::SnapshotFootprint(kPrepared)));
    if (row.value) {
      test::DeleteValue(row.root, row.key, row.value);
    } else {
      test::DeleteKeyTree(row.root, row.key, row.view);
    }
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(before, test::SnapshotFootprint(kPrepared)));
  }
}

// Setup, a second setup and an uninstall, on both families: every foreign
// key comes back byte for byte. Between the setups another program may take
// ".zip" and ".orv" by their default values alone and add a value to the
// product's new-file key: then the keys are as that program left them,
// without the product's values, with the former new-file entry the product
// had replaced.
TEST(CleanupTest, SecondSetupAndUninstallGiveForeignKeysBackOnBothFamilies) {
  struct Row {
    const char* name;
    bool ntFamily;
    bool changedHands;
  };
  const Row rows[] = {
      {"NT family", true, false},
      {"NT family, types taken between the setups", true, true},
      {"9x family", false, false},
      {"9x family, types taken between the setups", false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ScopedFootprintReset reset(kPrepared);
    std::unique_ptr<test::ScopedWindowsVersion> probeVersion, uninstallVersion;
    if (!row.ntFamily) {
      probeVersion = std::make_unique<test::ScopedWindowsVersion>("probe.exe", "win98");
      uninstallVersion = std::make_unique<test::ScopedWindowsVersion>("uninstall.exe", "win98");
    }
    Sandbox sandbox("cleanup-twice");
    Install(sandbox);
    WriteFormerOwners();
    std::vector<test::RegistrySnapshot> expected = FormerOwnersSnapshot();
    test::RegistrySnapshot orv;

    ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
    ExpectSetupMade(sandbox, row.ntFamily);
    if (row.changedHands) {
      WriteText(HKEY_CLASSES_ROOT, ".zip", "", "Y.zip");
      WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "ItemName", "@C:\\Y\\y.dll,-12");
      WriteText(HKEY_CLASSES_ROOT, ".orv", "", "Y.orv");
      // What that program set, over what setup left: no content type.
      test::RegistrySnapshot& zip = expected[0];
      zip[".zip|"] = test::SnapshotText("Y.zip");
      zip.erase(".zip|Content Type");
      zip[".zip\\ShellNew|ItemName"] = test::SnapshotText("@C:\\Y\\y.dll,-12");
      orv[".orv\\"] = "";
      orv[".orv|"] = test::SnapshotText("Y.orv");
    }
    ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
    ExpectSetupMade(sandbox, row.ntFamily);

    RunSilentUninstall(sandbox, InterpreterStandIn(sandbox));

    for (std::size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(kFormerlyOwned[i]);
      EXPECT_EQ(std::vector<std::string>{},
                test::SnapshotDifferences(
                    expected[i], test::SnapshotRegistry(HKEY_CLASSES_ROOT, kFormerlyOwned[i])));
    }
    EXPECT_EQ(std::vector<std::string>{},
              test::SnapshotDifferences(orv, test::SnapshotRegistry(HKEY_CLASSES_ROOT, ".orv")));
    for (const char* extension : kExtensions) {
      if (FormerlyOwned(extension) || std::strcmp(extension, ".orv") == 0) continue;
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, extension)) << extension;
    }
    ExpectOnlyWhatStays();
  }
}

// On Windows 98 the new-file entries hold the template image itself in a
// "Data" value, which the release removes while it is still the product's
// image: every former owner comes back as it was. The self-removal batch
// file goes to an interpreter stand-in (the 9x family's way to start it is
// covered by the uninstall run's own tests).
TEST(CleanupTest, NineXFamilyGivesFormerOwnersBackWithoutTheTemplateData) {
  test::ScopedFootprintReset reset(kPrepared);
  test::ScopedWindowsVersion probeVersion("probe.exe", "win98");
  test::ScopedWindowsVersion uninstallVersion("uninstall.exe", "win98");
  Sandbox sandbox("cleanup-9x");
  Install(sandbox);
  WriteFormerOwners();
  std::vector<test::RegistrySnapshot> former = FormerOwnersSnapshot();

  ASSERT_EQ(0, RunSetup(sandbox, kEverythingOn));
  ExpectSetupMade(sandbox, false);
  ASSERT_EQ(std::vector<std::string>{"Data"}, ValueNames(HKEY_CLASSES_ROOT, ".zip\\ShellNew"));
  ASSERT_EQ(kZipImageData, StoredValue(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"));
  ASSERT_EQ("<type 3>", ReadText(HKEY_CLASSES_ROOT, ".orv\\ShellNew", "Data"));
  ASSERT_FALSE(sandbox.Exists("zipnew.dat"));
  // One call of the 9x family deletes a key with all below it: another
  // program's subkey of an extension made by setup must survive it.
  WriteText(HKEY_CLASSES_ROOT, kOtherSince, "Other.7z", "");
  test::RegistrySnapshot otherSince = test::SnapshotRegistry(HKEY_CLASSES_ROOT, kOtherSince);

  RunSilentUninstall(sandbox, InterpreterStandIn(sandbox));

  ExpectFormerOwnersBack(former, otherSince);
  ExpectOnlyWhatStays();
}

}  // namespace
