// A setup run end to end: SETUPDLG, CONTEXTITEMS and DONEDLG driven from
// outside as a user would, what they store under the product key, what the
// apply step leaves in the registry and on disk, the help viewer and the
// silent run.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "canvas.h"
#include "e2e/sandbox.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

using e2e::Sandbox;

constexpr char kProductKey[] = "Software\\Korvik";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvik archiver";
constexpr char kAppPathKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvik.exe";
constexpr char kApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr char kClassId32[] = "{6F2A9C31-5B17-4C3E-8A0D-D3B58C1E47A2}";
constexpr char kViewerClass[] = "KorvikTest.Viewer";

// The test's own class, removed with everything a setup run can leave
// behind before and after each test.
const std::vector<test::RegistryKey> kPrepared = {{HKEY_CLASSES_ROOT, kViewerClass}};

const char* const kTypeKeys[] = {".orv", ".zip", ".cab", ".arj", ".lzh", ".ace", ".7z",
                                 ".tar", ".gz",  ".uue", ".bz2", ".jar", ".iso", ".z"};
const char* const kMenuValues[] = {"ExtrTo", "ExtrHere", "Extr",     "ExtrSep", "OpenSFX", "AddTo",
                                   "AddArc", "EmailArc", "EmailOpt", "Test",    "Convert"};

// --- registry -------------------------------------------------------------

using test::DeleteValue;
using test::KeyExists;
using test::SpecialFolder;

// The value's text; "<none>" when it is missing or not a REG_SZ.
std::string Text(HKEY root, const std::string& key, const char* name, REGSAM view = 0) {
  test::RawValue value = test::ReadRaw(root, key, name, view);
  return value.present && value.type == REG_SZ ? value.data.c_str() : "<none>";
}

// A number stored under the product key; -1 when it is missing.
long long Stored(const std::string& key, const char* name) {
  return test::ReadNumber(HKEY_CURRENT_USER, std::string(kProductKey) + "\\" + key, name);
}

void Store(const std::string& key, const char* name, DWORD number,
           test::CallSite site = test::Here()) {
  test::WriteNumber(HKEY_CURRENT_USER, std::string(kProductKey) + "\\" + key, name, number, 0,
                    site);
}

// --- the program ----------------------------------------------------------

struct Session {
  driver::Process process;
  HWND dialog = nullptr;
};

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ResetFootprint(kPrepared); }
  void TearDown() override { test::ResetFootprint(kPrepared); }

  // Starts "/setup" and waits for SETUPDLG; from the installation folder
  // unless workDir names another.
  void StartSetup(Session& run, const Sandbox& sandbox, const std::vector<std::string>& env = {},
                  const std::string& program = "", const std::string& workDir = "") {
    driver::StartOptions options = sandbox.Options("/setup");
    if (!program.empty()) options.exe = program;
    if (!workDir.empty()) options.workDir = workDir;
    for (const std::string& variable : env) options.setEnv.push_back(variable);
    ASSERT_TRUE(driver::Start(run.process, options));
    run.dialog =
        driver::WaitForDialog(run.process, test::Acp("Korvik 安装"), e2e::kDialogTimeoutMs);
    ASSERT_NE(nullptr, run.dialog);
    ASSERT_TRUE(driver::HasItem(run.dialog, IDC_EXPLANATION)) << "not SETUPDLG";
  }

  // Presses a button of a dialog and waits until the dialog has gone.
  static void PressAndWait(HWND dialog, int id) {
    ASSERT_TRUE(driver::Press(dialog, id));
    ASSERT_TRUE(driver::WaitForClosed(dialog, e2e::kDialogTimeoutMs));
  }

  // Esc, as the dialog manager passes it on: IDCANCEL (SETUPDLG has no
  // Cancel button to press).
  static void EscapeAndWait(HWND dialog) {
    ASSERT_TRUE(PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
    ASSERT_TRUE(driver::WaitForClosed(dialog, e2e::kDialogTimeoutMs));
  }

  // After SETUPDLG's OK: DONEDLG is there.
  static HWND WaitForDone(const Session& run) {
    HWND done = driver::WaitForDialog(run.process, test::Acp("Korvik 安装"), e2e::kDialogTimeoutMs);
    EXPECT_NE(nullptr, done);
    if (done) {
      EXPECT_TRUE(driver::HasItem(done, IDC_RUN_KORVIK)) << "not DONEDLG";
    }
    return done;
  }

  static void ExpectExit(const Session& run) {
    DWORD code = 1;
    ASSERT_TRUE(driver::WaitForExit(run.process, e2e::kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
  }

  // Runs SETUPDLG's OK and DONEDLG's finish.
  void OkThroughToTheEnd(Session& run) {
    PressAndWait(run.dialog, IDOK);
    HWND done = WaitForDone(run);
    ASSERT_NE(nullptr, done);
    PressAndWait(done, IDOK);
    ExpectExit(run);
  }
};

// The 20 boxes of SETUPDLG as 0/1, in order 5101 to 5120.
std::vector<int> Boxes(HWND dialog) {
  std::vector<int> states;
  for (int id = IDC_TYPE_FIRST; id <= IDC_MENU_ICONS; ++id) {
    states.push_back(driver::CheckState(dialog, id));
  }
  return states;
}

std::vector<int> Expected(const std::vector<int>& types, int desktop, int startMenu, int programs,
                          int shell, int cascaded, int icons) {
  std::vector<int> states = types;
  for (int flag : {desktop, startMenu, programs, shell, cascaded, icons}) states.push_back(flag);
  return states;
}

std::vector<int> Types(int jar, int iso) {
  std::vector<int> types(14, 1);
  types[11] = jar;
  types[12] = iso;
  return types;
}

// --- SETUPDLG: what it shows, what it stores -------------------------------

TEST_F(SetupTest, NothingStoredShowsTheDefaultsAndJarIsoOnlyWhenNoOtherProgramOwnsThem) {
  struct Row {
    const char* name;
    const char* jarOwner;  // nullptr: no ".jar" key at all
    const char* isoOwner;
    int jar, iso;
  };
  const Row rows[] = {
      {"no keys", nullptr, nullptr, 1, 1},
      {"empty class", "", "", 1, 1},
      {"another program", "jarfile", "Other.DiscImage", 0, 0},
      {"already the archiver's", "Korvik", "korvik.zip", 1, 1},
      {"only iso taken", nullptr, "Other.DiscImage", 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ResetFootprint(kPrepared);
    if (row.jarOwner) test::WriteText(HKEY_CLASSES_ROOT, ".jar", nullptr, row.jarOwner);
    if (row.isoOwner) test::WriteText(HKEY_CLASSES_ROOT, ".iso", nullptr, row.isoOwner);
    Sandbox sandbox("setup-defaults");
    Session run;
    StartSetup(run, sandbox);
    if (!run.dialog) return;
    EXPECT_EQ(Expected(Types(row.jar, row.iso), 0, 0, 1, 1, 0, 1), Boxes(run.dialog));
    EXPECT_TRUE(driver::ItemEnabled(run.dialog, IDC_CASCADED_MENU));
    EXPECT_TRUE(driver::ItemEnabled(run.dialog, IDC_MENU_ICONS));
    // Esc: nothing stored or applied, no completion dialog.
    EscapeAndWait(run.dialog);
    ExpectExit(run);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Korvik"));
    EXPECT_EQ(row.isoOwner ? row.isoOwner : "<none>", Text(HKEY_CLASSES_ROOT, ".iso", nullptr));
  }
}

TEST_F(SetupTest, StoredValuesAreShownAndOkStoresThemBackAsZeroOrOne) {
  for (int n = 0; n < 14; ++n) Store(std::string("Setup\\") + kTypeKeys[n], "Set", n % 2);
  Store("Setup\\.orv", "Set", 7);  // any nonzero number is on
  Store("Setup\\.iso", "Set", 1);  // but another program owns ".iso"
  test::WriteText(HKEY_CLASSES_ROOT, ".iso", nullptr, "Other.DiscImage");
  Store("Setup\\Links", "Desktop", 7);
  Store("Setup\\Links", "StartMenu", 0);
  Store("Setup\\Links", "Programs", 0);
  Store("Setup", "ShellExt", 0);
  Store("Setup", "CascadedMenu", 1);
  Store("Setup", "MenuIcons", 0);

  Sandbox sandbox("setup-stored");
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;
  std::vector<int> types = {1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
  EXPECT_EQ(Expected(types, 1, 0, 0, 0, 1, 0), Boxes(run.dialog));
  // Disabled with the shell box off, yet showing their stored marks.
  EXPECT_FALSE(driver::ItemEnabled(run.dialog, IDC_CASCADED_MENU));
  EXPECT_FALSE(driver::ItemEnabled(run.dialog, IDC_MENU_ICONS));

  OkThroughToTheEnd(run);
  for (int n = 0; n < 14; ++n) {
    SCOPED_TRACE(kTypeKeys[n]);
    EXPECT_EQ(types[n], Stored(std::string("Setup\\") + kTypeKeys[n], "Set"));
  }
  EXPECT_EQ(1, Stored("Setup\\Links", "Desktop"));
  EXPECT_EQ(0, Stored("Setup\\Links", "StartMenu"));
  EXPECT_EQ(0, Stored("Setup\\Links", "Programs"));
  EXPECT_EQ(0, Stored("Setup", "ShellExt"));
  EXPECT_EQ(1, Stored("Setup", "CascadedMenu"));
  EXPECT_EQ(0, Stored("Setup", "MenuIcons"));
  EXPECT_EQ("Other.DiscImage", Text(HKEY_CLASSES_ROOT, ".iso", nullptr));
}

TEST_F(SetupTest, SelectAllTicksOnlyTheTypesAndTheShellBoxGovernsItsTwoBoxes) {
  for (const char* key : kTypeKeys) Store(std::string("Setup\\") + key, "Set", 0);
  Store("Setup\\Links", "Desktop", 1);
  Store("Setup\\Links", "Programs", 0);
  Store("Setup", "CascadedMenu", 1);
  Store("Setup", "MenuIcons", 0);

  Sandbox sandbox("setup-select-all");
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;
  ASSERT_TRUE(driver::Press(run.dialog, IDC_SELECT_ALL));
  // Press only posts the click: wait until the dialog has handled it.
  const std::vector<int> selected = Expected(std::vector<int>(14, 1), 1, 0, 0, 1, 1, 0);
  test::WaitUntil([&] { return Boxes(run.dialog) == selected; });
  EXPECT_EQ(selected, Boxes(run.dialog));

  struct Step {
    int shell;
    bool enabled;
  };
  for (const Step& step : {Step{0, false}, Step{1, true}, Step{0, false}}) {
    SCOPED_TRACE(step.shell);
    ASSERT_TRUE(driver::Press(run.dialog, IDC_SHELL_EXT));
    test::WaitUntil(
        [&] { return driver::ItemEnabled(run.dialog, IDC_CASCADED_MENU) == step.enabled; });
    EXPECT_EQ(step.shell, driver::CheckState(run.dialog, IDC_SHELL_EXT));
    EXPECT_EQ(step.enabled, driver::ItemEnabled(run.dialog, IDC_CASCADED_MENU));
    EXPECT_EQ(step.enabled, driver::ItemEnabled(run.dialog, IDC_MENU_ICONS));
    EXPECT_EQ(1, driver::CheckState(run.dialog, IDC_CASCADED_MENU));
    EXPECT_EQ(0, driver::CheckState(run.dialog, IDC_MENU_ICONS));
  }

  // The close box: nothing of it is stored, nothing applied.
  ASSERT_TRUE(driver::Close(run.dialog));
  ASSERT_TRUE(driver::WaitForClosed(run.dialog, e2e::kDialogTimeoutMs));
  ExpectExit(run);
  for (const char* key : kTypeKeys) EXPECT_EQ(0, Stored(std::string("Setup\\") + key, "Set"));
  EXPECT_EQ(-1, Stored("Setup", "ShellExt"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// --- CONTEXTITEMS -------------------------------------------------------------

HWND OpenContextItems(const Session& run) {
  EXPECT_TRUE(driver::Press(run.dialog, IDC_CONTEXT_ITEMS));
  HWND items = driver::WaitForDialog(run.process, test::Acp("关联菜单项目"), e2e::kDialogTimeoutMs);
  EXPECT_NE(nullptr, items);
  return items;
}

std::vector<int> MenuBoxes(HWND items) {
  std::vector<int> states;
  for (int id = IDC_MENU_ITEM_FIRST; id <= IDC_MENU_ITEM_LAST; ++id) {
    states.push_back(driver::CheckState(items, id));
  }
  return states;
}

std::vector<long long> StoredMenu() {
  std::vector<long long> values;
  for (const char* name : kMenuValues) values.push_back(Stored("Setup\\MenuItems", name));
  return values;
}

TEST_F(SetupTest, ContextItemsOkStoresAllElevenCancelStoresNothingAndReopeningShowsThem) {
  Sandbox sandbox("setup-context-items");
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;

  HWND items = OpenContextItems(run);
  ASSERT_NE(nullptr, items);
  EXPECT_EQ(std::vector<int>({1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}), MenuBoxes(items));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Setup\\MenuItems"));
  // The owner is disabled while the items dialog is open.
  EXPECT_FALSE(IsWindowEnabled(run.dialog));
  ASSERT_TRUE(driver::Press(items, 101));  // off
  ASSERT_TRUE(driver::Press(items, 110));  // on
  PressAndWait(items, IDOK);
  EXPECT_EQ(std::vector<long long>({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), StoredMenu());

  items = OpenContextItems(run);
  ASSERT_NE(nullptr, items);
  EXPECT_EQ(std::vector<int>({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), MenuBoxes(items));
  ASSERT_TRUE(driver::Press(items, 102));
  ASSERT_TRUE(driver::Press(items, 111));
  PressAndWait(items, IDCANCEL);
  EXPECT_EQ(std::vector<long long>({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), StoredMenu());

  items = OpenContextItems(run);
  ASSERT_NE(nullptr, items);
  EXPECT_EQ(std::vector<int>({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), MenuBoxes(items));
  ASSERT_TRUE(driver::Close(items));  // Esc and the close box are Cancel
  ASSERT_TRUE(driver::WaitForClosed(items, e2e::kDialogTimeoutMs));

  // Esc in SETUPDLG does not undo what the items dialog stored.
  EscapeAndWait(run.dialog);
  ExpectExit(run);
  EXPECT_EQ(std::vector<long long>({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), StoredMenu());
  EXPECT_EQ(-1, Stored("Setup", "ShellExt"));
}

// --- OK: the apply step and the uninstall entry --------------------------------

// The checks of a complete apply with the default choices.
void ExpectApplied(const Sandbox& sandbox) {
  std::string archiver = sandbox.Path("Korvik.exe");
  EXPECT_EQ(archiver, Text(HKEY_LOCAL_MACHINE, kAppPathKey, nullptr));
  EXPECT_EQ(sandbox.Folder(), Text(HKEY_LOCAL_MACHINE, kAppPathKey, "Path"));
  // Shell extension (64-bit prefix: both libraries).
  EXPECT_EQ(
      sandbox.Path("orvext.dll"),
      Text(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId32 + "\\InProcServer32", nullptr));
  const std::string handler =
      std::string("*\\shellex\\ContextMenuHandlers\\") + test::HandlerNamesInUse().front();
  EXPECT_EQ(kClassId32, Text(HKEY_CLASSES_ROOT, handler, nullptr));
  EXPECT_EQ("Korvik shell extension", Text(HKEY_LOCAL_MACHINE, kApprovedKey, kClassId32));
  // Associations and program ids.
  for (const char* extension : {".orv", ".cab", ".lha", ".tbz", ".jar", ".iso", ".taz"}) {
    SCOPED_TRACE(extension);
    EXPECT_EQ("Korvik", Text(HKEY_CLASSES_ROOT, extension, nullptr));
  }
  EXPECT_EQ("Korvik.ZIP", Text(HKEY_CLASSES_ROOT, ".zip", nullptr));
  EXPECT_EQ("Korvik.REV", Text(HKEY_CLASSES_ROOT, ".rev", nullptr));
  EXPECT_EQ("Korvik", Text(HKEY_CLASSES_ROOT, ".o29", nullptr));
  EXPECT_EQ("\"" + archiver + "\" \"%1\"",
            Text(HKEY_CLASSES_ROOT, "Korvik.ZIP\\shell\\open\\command", nullptr));
  EXPECT_EQ(archiver + ",1", Text(HKEY_CLASSES_ROOT, "Korvik.REV\\DefaultIcon", nullptr));
  EXPECT_EQ(sandbox.Path("zipnew.dat"), Text(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName"));
  EXPECT_TRUE(sandbox.Exists("orvnew.dat"));
  // The program groups, per user and common, and no desktop or start menu link.
  for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
    std::string group = SpecialFolder(csidl) + "\\Korvik\\";
    EXPECT_TRUE(test::Exists(group + "Korvik.lnk")) << group;
    EXPECT_TRUE(test::Exists(group + test::Acp("Korvik 帮助") + ".lnk")) << group;
    EXPECT_TRUE(test::Exists(group + test::Acp("控制台 ORV 手册") + ".lnk")) << group;
  }
  EXPECT_FALSE(test::Exists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Korvik.lnk"));
  EXPECT_FALSE(test::Exists(SpecialFolder(CSIDL_COMMON_STARTMENU) + "\\Korvik.lnk"));
}

void ExpectUninstallEntry(const Sandbox& sandbox) {
  EXPECT_EQ(test::Acp("Korvik 压缩专家"), Text(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
  const std::string command = "\"" + sandbox.ProgramPath() + "\"";
  EXPECT_EQ(command, Text(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
  EXPECT_EQ(sandbox.Path("Korvik.exe"), Text(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"));
  EXPECT_EQ(1, test::ReadNumber(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify"));
  EXPECT_EQ(1, test::ReadNumber(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair"));
  EXPECT_EQ(command + " /quiet", Text(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"));
  EXPECT_EQ(sandbox.Folder(), Text(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"));
  EXPECT_EQ("Korvik", Text(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"));
  // The stand-in archiver's version resource.
  EXPECT_EQ("7.2.0.15", Text(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"));
}

void LayOutLibraries(const Sandbox& sandbox) {
  ASSERT_TRUE(sandbox.WriteFile("orvext.dll", "x"));
  ASSERT_TRUE(sandbox.WriteFile("orvext64.dll", "x"));
}

TEST_F(SetupTest, OkStoresAppliesEverythingAndWritesTheUninstallEntry) {
  Sandbox sandbox("setup-ok", "Korvik Archiver");
  LayOutLibraries(sandbox);
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;
  OkThroughToTheEnd(run);
  for (const char* key : kTypeKeys) EXPECT_EQ(1, Stored(std::string("Setup\\") + key, "Set"));
  EXPECT_EQ(1, Stored("Setup\\Links", "Programs"));
  EXPECT_EQ(0, Stored("Setup\\Links", "Desktop"));
  ExpectApplied(sandbox);
  ExpectUninstallEntry(sandbox);
}

// The test variant of the program refuses registry writes under the roots
// that KORVIK_TEST_DENY_WRITES names with status 5.
TEST_F(SetupTest, AccessDeniedStopsTheApplyStepButNotTheEntryOrTheCompletionDialog) {
  struct Row {
    const char* roots;
    bool appPath;   // step 1 done
    bool approved;  // step 2 done (its HKLM row)
    bool entry;     // the uninstall entry
  };
  const Row rows[] = {
      // Step 1 refused: nothing else; the entry is attempted but refused too.
      {"HKLM", false, false, false},
      // Step 4 refused: steps 1 and 2 ran, the shortcuts were not made.
      {"HKCR", true, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.roots);
    test::ResetFootprint(kPrepared);
    Sandbox sandbox("setup-denied");
    LayOutLibraries(sandbox);
    ASSERT_TRUE(sandbox.CopyIn(e2e::BuiltFaultyProgram(), "uninstall.exe"));
    Session run;
    StartSetup(run, sandbox, {std::string("KORVIK_TEST_DENY_WRITES=") + row.roots});
    if (!run.dialog) return;
    OkThroughToTheEnd(run);                            // DONEDLG still follows
    EXPECT_EQ(1, Stored("Setup\\Links", "Programs"));  // stored before applying
    EXPECT_EQ(row.appPath, KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    EXPECT_EQ(row.approved ? "Korvik shell extension" : "<none>",
              Text(HKEY_LOCAL_MACHINE, kApprovedKey, kClassId32));
    EXPECT_EQ(row.entry, KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".zip"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Korvik"));
    EXPECT_FALSE(test::Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\Korvik"));
    EXPECT_FALSE(test::Exists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvik"));
  }
}

TEST_F(SetupTest, ShippedProgramIgnoresTheFaultVariable) {
  Sandbox sandbox("setup-no-fault");
  Session run;
  StartSetup(run, sandbox, {"KORVIK_TEST_DENY_WRITES=HKLM HKCR HKCU"});
  if (!run.dialog) return;
  OkThroughToTheEnd(run);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
  ExpectUninstallEntry(sandbox);
}

// --- silent ------------------------------------------------------------------

TEST_F(SetupTest, SilentRunConfirmsBothDialogsStoresAppliesAndOpensNothing) {
  struct Row {
    const char* name;
    bool stored;          // values stored before, else the defaults
    const char* library;  // a fixture "orvlng.dll" beside the program
  };
  const Row rows[] = {
      {"defaults", false, nullptr},
      {"stored", true, nullptr},
      // The built-in SETUPDLG stands in for one that lacks the type boxes
      // or cannot be made: the types are not released unseen.
      {"library dialog without type boxes", false, "notypes"},
      {"library dialog that cannot be made", false, "noclass"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ResetFootprint(kPrepared);
    if (row.stored) {
      Store("Setup\\.zip", "Set", 0);
      Store("Setup\\Links", "Programs", 7);
      Store("Setup", "CascadedMenu", 1);
    }
    Sandbox sandbox("setup-silent");
    LayOutLibraries(sandbox);
    if (row.library) {
      ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary(row.library), "orvlng.dll"));
    }
    driver::Process process;
    driver::StartOptions options = sandbox.Options("/setup");
    options.setEnv = {"sfxcmd=\"C:\\Downloads\\KorvikSetup.exe\" /S"};
    ASSERT_TRUE(driver::Start(process, options));
    DWORD code = 1;
    ASSERT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(row.stored ? 0 : 1, Stored("Setup\\.zip", "Set"));
    EXPECT_EQ(1, Stored("Setup\\.orv", "Set"));
    EXPECT_EQ(1, Stored("Setup\\Links", "Programs"));
    EXPECT_EQ(row.stored ? 1 : 0, Stored("Setup", "CascadedMenu"));
    EXPECT_EQ(1, Stored("Setup", "MenuIcons"));
    EXPECT_EQ(row.stored ? "<none>" : "Korvik.ZIP", Text(HKEY_CLASSES_ROOT, ".zip", nullptr));
    EXPECT_EQ("Korvik", Text(HKEY_CLASSES_ROOT, ".orv", nullptr));
    EXPECT_TRUE(test::Exists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvik\\Korvik.lnk"));
    ExpectUninstallEntry(sandbox);
    EXPECT_FALSE(sandbox.Exists("Korvik.started.log"));
  }
}

// The 9x family's wide environment call is a stub that fails with 120:
// "sfxcmd" must still be read there, or a silent installer's setup would
// wait for a person at its settings dialog. The test variant makes the wide
// call fail that way ("WIDEENV") on either family.
TEST_F(SetupTest, SilentRunReadsSfxcmdWhereTheWideEnvironmentCallIsAStub) {
  struct Row {
    const char* name;
    const char* version;  // of uninstall.exe; null: as the prefix has it
    const char* faults;   // KORVIK_TEST_DENY_WRITES of the test variant
  };
  const Row rows[] = {
      {"9x family", "win98", "WIDEENV"},
      {"9x family, flag refused too", "win98", "WIDEENV NOBESTFIT"},
      {"NT family", nullptr, "WIDEENV"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ResetFootprint(kPrepared);
    std::unique_ptr<test::ScopedWindowsVersion> version;
    if (row.version) {
      version = std::make_unique<test::ScopedWindowsVersion>("uninstall.exe", row.version);
    }
    Sandbox sandbox("setup-silent-9x");
    LayOutLibraries(sandbox);
    ASSERT_TRUE(sandbox.CopyIn(e2e::BuiltFaultyProgram(), "uninstall.exe"));
    driver::Process process;
    driver::StartOptions options = sandbox.Options("/setup");
    options.setEnv = {"sfxcmd=\"C:\\Downloads\\KorvikSetup.exe\" /S",
                      std::string("KORVIK_TEST_DENY_WRITES=") + row.faults};
    ASSERT_TRUE(driver::Start(process, options));
    // Unread, the settings dialog would wait for a person.
    DWORD code = 1;
    ASSERT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(1, Stored("Setup\\.zip", "Set"));
    EXPECT_EQ("Korvik.ZIP", Text(HKEY_CLASSES_ROOT, ".zip", nullptr));
    ExpectUninstallEntry(sandbox);
  }
}

// --- DONEDLG -----------------------------------------------------------------

// Gives a key of HKEY_CLASSES_ROOT another default value while the object
// lives; then puts back the former value, or removes the key again when it
// was not there. (Wine's shell does not read HKCU\Software\Classes, so a
// test's own file class has to sit in the system's classes.)
class ScopedClassDefault {
 public:
  ScopedClassDefault(const std::string& key, const std::string& value) : key_(key) {
    existed_ = KeyExists(HKEY_CLASSES_ROOT, key);
    former_ = Text(HKEY_CLASSES_ROOT, key, nullptr);
    test::WriteText(HKEY_CLASSES_ROOT, key, nullptr, value);
  }
  ~ScopedClassDefault() {
    if (!existed_) {
      test::DeleteKeyTree(HKEY_CLASSES_ROOT, key_);
    } else if (former_ == "<none>") {
      DeleteValue(HKEY_CLASSES_ROOT, key_, nullptr);
    } else {
      test::WriteText(HKEY_CLASSES_ROOT, key_, nullptr, former_);
    }
  }
  ScopedClassDefault(const ScopedClassDefault&) = delete;
  ScopedClassDefault& operator=(const ScopedClassDefault&) = delete;

 private:
  std::string key_;
  bool existed_ = false;
  std::string former_;
};

// A program registered for ".txt", ".htm" and "https" while the object
// lives, that records what it was asked to open (the archiver's stand-in in
// a folder of its own, logging to "Korvik.started.log" beside itself).
class ScopedViewer {
 public:
  explicit ScopedViewer(const Sandbox& sandbox)
      : folder_(MakeFolder(sandbox)),
        command_("\"" + folder_ + "\\viewer.exe\" \"%1\""),
        text_(".txt", kViewerClass),
        page_(".htm", kViewerClass),
        viewerClass_(std::string(kViewerClass) + "\\shell\\open\\command", command_),
        https_("https\\shell\\open\\command", command_) {}
  std::string Log() const { return folder_ + "\\Korvik.started.log"; }

 private:
  static std::string MakeFolder(const Sandbox& sandbox) {
    std::string folder = sandbox.Root() + "\\viewer";
    test::MakeFolders(folder);
    EXPECT_TRUE(CopyFileA(e2e::BuiltStandIn().c_str(), (folder + "\\viewer.exe").c_str(), FALSE));
    return folder;
  }
  std::string folder_;
  std::string command_;
  ScopedClassDefault text_, page_, viewerClass_, https_;
};

// The whole lines of a log once it has at least `count` of them.
std::vector<std::string> WaitForLines(const std::string& path, std::size_t count) {
  std::vector<std::string> lines;
  test::WaitUntil([&] {
    lines.clear();
    std::string all = test::ReadWholeFile(path);
    std::size_t start = 0, end;
    while ((end = all.find("\r\n", start)) != std::string::npos) {
      lines.push_back(all.substr(start, end - start));
      start = end + 2;
    }
    return lines.size() >= count;
  });
  return lines;
}

std::vector<std::string> HelpCalls(const Sandbox& sandbox, std::size_t count) {
  return WaitForLines(sandbox.Path("hhctrl.log"), count);
}

// The help control beside the program, preferred to Wine's own built-in
// one for "uninstall.exe" while the object lives (Wine's per-program
// overrides; WINEDLLOVERRIDES in a child's environment block is not read).
class ScopedNativeHelp {
 public:
  ScopedNativeHelp() { test::WriteText(HKEY_CURRENT_USER, kKey, "hhctrl.ocx", "native"); }
  ~ScopedNativeHelp() { test::DeleteKeyTree(HKEY_CURRENT_USER, kKey); }
  ScopedNativeHelp(const ScopedNativeHelp&) = delete;
  ScopedNativeHelp& operator=(const ScopedNativeHelp&) = delete;

 private:
  static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\uninstall.exe\\DllOverrides";
};

// 0 for white, 765 for black.
int Darkness(DWORD color) {
  return 765 - int(color & 0xFF) - int((color >> 8) & 0xFF) - int((color >> 16) & 0xFF);
}

// Dark pixels of a text drawn as a centred static control of the given
// size draws it (9-point "宋体", the dialog's font, at the given weight),
// or, without a text, of the screen under the control.
int Ink(HWND control, const std::string* text, int weight) {
  RECT rect;
  POINT origin = {0, 0};
  if (!GetClientRect(control, &rect) || !ClientToScreen(control, &origin)) return -1;
  const int width = rect.right, height = rect.bottom;
  driver::Canvas canvas(width, height);
  HFONT font = CreateFontA(-12, 0, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET, 0, 0, 0, 0,
                           "\xCB\xCE\xCC\xE5");
  int ink = -1;
  if (canvas.Ok() && font) {
    HDC dc = canvas.Dc();
    HGDIOBJ oldFont = SelectObject(dc, font);
    bool drawn = false;
    if (text) {
      canvas.Fill(0xFFFFFFu);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      RECT area = {0, 0, width, height};
      drawn =
          DrawTextA(dc, text->c_str(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS) != 0;
    } else {
      HDC screen = GetDC(nullptr);
      drawn = BitBlt(dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY) != 0;
      ReleaseDC(nullptr, screen);
    }
    GdiFlush();
    if (drawn) {
      ink = 0;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) ink += Darkness(canvas.Pixel(x, y)) > 384 ? 1 : 0;
      }
    }
    SelectObject(dc, oldFont);
  }
  if (font) DeleteObject(font);
  return ink;
}

void ExpectBoldLine(HWND control, const std::string& text) {
  ASSERT_NE(nullptr, control);
  int normal = Ink(control, &text, FW_NORMAL);
  int bold = Ink(control, &text, FW_BOLD);
  // Without a clear difference the measure could not tell them apart.
  ASSERT_GT(bold, normal + normal / 10) << "normal " << normal << ", bold " << bold;
  int shown = 0;
  test::WaitUntil([&] {  // until the dialog has painted its line
    shown = Ink(control, nullptr, 0);
    return shown > normal / 2;
  });
  EXPECT_LT(std::abs(shown - bold), std::abs(shown - normal))
      << "normal " << normal << ", bold " << bold << ", on screen " << shown;
}

TEST_F(SetupTest, CompletionDialogShowsTheFolderAndItsButtonsOpenWhatTheyName) {
  Store("Setup\\Links", "Programs", 0);  // no program group folder to open afterwards
  Sandbox sandbox("setup-done", "Korvik Archiver");
  ASSERT_TRUE(sandbox.WriteFile("license.txt", "licence"));
  ASSERT_TRUE(sandbox.WriteFile("order.htm", "<html></html>"));
  ASSERT_TRUE(sandbox.CopyIn(test::WindowsPath(KORVIK_HHCTRL_STANDIN), "hhctrl.ocx"));
  // Started from another folder that holds files of the same names: the
  // dialog names and opens only the program's own folder.
  const std::string elsewhere = sandbox.Root() + "\\elsewhere";
  test::MakeFolders(elsewhere);
  ASSERT_TRUE(CopyFileA(e2e::BuiltStandIn().c_str(), (elsewhere + "\\Korvik.exe").c_str(), FALSE));
  ASSERT_TRUE(test::WriteWholeFile(elsewhere + "\\license.txt", "another licence"));
  ScopedViewer viewer(sandbox);
  const std::string viewerLog = viewer.Log();
  ScopedNativeHelp nativeHelp;
  Session run;
  StartSetup(run, sandbox, {}, "", elsewhere);
  if (!run.dialog) return;
  PressAndWait(run.dialog, IDOK);
  HWND done = WaitForDone(run);
  ASSERT_NE(nullptr, done);

  EXPECT_EQ(sandbox.Folder(), driver::ItemText(done, IDC_INSTALL_FOLDER));
  const std::pair<int, const char*> buttons[] = {
      {IDC_RUN_KORVIK, "运行 Korvik(&R)"},   {IDC_READ_HELP, "阅读帮助(&H)"},
      {IDC_VIEW_LICENSE, "查看授权(&L)"},    {IDC_ORDER, "定购(&O)"},
      {IDC_VISIT_HOME_PAGE, "访问主页(&M)"}, {IDOK, "完成"}};
  for (const auto& button : buttons) {
    EXPECT_EQ(test::Acp(button.second), driver::ItemText(done, button.first)) << button.first;
  }
  // The thank-you line is bold. A font handle means nothing outside its
  // process (Wine even answers WM_GETFONT across processes with null), so
  // the line is judged by its ink on the screen.
  ExpectBoldLine(GetDlgItem(done, IDC_THANKS), test::Acp("感谢您使用 Korvik！"));

  // The archiver, twice; the dialog stays.
  ASSERT_TRUE(driver::Press(done, IDC_RUN_KORVIK));
  ASSERT_EQ(1u, WaitForLines(sandbox.Path("Korvik.started.log"), 1).size());
  ASSERT_TRUE(driver::Press(done, IDC_RUN_KORVIK));
  std::vector<std::string> starts = WaitForLines(sandbox.Path("Korvik.started.log"), 2);
  ASSERT_EQ(2u, starts.size());
  for (const std::string& line : starts) {
    // ShellExecute quotes the path (it holds a blank); it starts in the
    // installation folder.
    EXPECT_EQ("\"" + sandbox.Path("Korvik.exe") + "\"\t" + sandbox.Folder(), line);
  }
  EXPECT_FALSE(test::Exists(elsewhere + "\\Korvik.started.log"));
  EXPECT_TRUE(IsWindow(done));

  // Licence, order page, home page: each through the shell's "open".
  ASSERT_TRUE(driver::Press(done, IDC_VIEW_LICENSE));
  ASSERT_EQ(1u, WaitForLines(viewerLog, 1).size());
  ASSERT_TRUE(driver::Press(done, IDC_ORDER));
  ASSERT_EQ(2u, WaitForLines(viewerLog, 2).size());
  ASSERT_TRUE(driver::Press(done, IDC_VISIT_HOME_PAGE));
  std::vector<std::string> opened = WaitForLines(viewerLog, 3);
  ASSERT_EQ(3u, opened.size());
  EXPECT_NE(std::string::npos, opened[0].find("\"" + sandbox.Path("license.txt") + "\""))
      << opened[0];
  EXPECT_NE(std::string::npos, opened[1].find("\"" + sandbox.Path("order.htm") + "\""))
      << opened[1];
  EXPECT_NE(std::string::npos, opened[2].find("\"https://www.korvik.example/\"")) << opened[2];

  // Help: the table of contents of the help file beside the program.
  ASSERT_TRUE(driver::Press(done, IDC_READ_HELP));
  std::vector<std::string> help = HelpCalls(sandbox, 2);
  ASSERT_EQ(2u, help.size());
  EXPECT_EQ("attach", help[0]);
  EXPECT_EQ("HtmlHelpA 1 " + sandbox.Path("korvik.chm") + " 0", help[1]);

  // Esc is "完成".
  ASSERT_TRUE(driver::Close(done));
  ASSERT_TRUE(driver::WaitForClosed(done, e2e::kDialogTimeoutMs));
  ExpectExit(run);
  help = HelpCalls(sandbox, 4);
  ASSERT_EQ(4u, help.size());
  EXPECT_EQ("HtmlHelpA 12 - 0 with OLE", help[2]);
  EXPECT_EQ("detach FreeLibrary", help[3]);
  ASSERT_TRUE(sandbox.WaitUntilAllEnded());
  EXPECT_EQ(3u, WaitForLines(viewerLog, 0).size());
}

// --- help viewer -------------------------------------------------------------

TEST_F(SetupTest, HelpButtonAndF1OpenTheSetupTopicWithOneLoadOfTheControl) {
  Sandbox sandbox("setup-help", "Korvik Archiver");
  ASSERT_TRUE(sandbox.CopyIn(test::WindowsPath(KORVIK_HHCTRL_STANDIN), "hhctrl.ocx"));
  ScopedNativeHelp nativeHelp;
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;
  std::string topic =
      "HtmlHelpA 0 " + sandbox.Path("korvik.chm") + "::/html/HELPIntegrationSettings.htm 0";
  ASSERT_TRUE(driver::Press(run.dialog, IDC_HELP_BUTTON));
  EXPECT_EQ(std::vector<std::string>({"attach", topic}), HelpCalls(sandbox, 2));
  // F1, as the dialog manager turns it into WM_HELP.
  HELPINFO info{};
  info.cbSize = sizeof info;
  info.iContextType = HELPINFO_WINDOW;
  info.iCtrlId = IDOK;
  info.hItemHandle = GetDlgItem(run.dialog, IDOK);
  SendMessageA(run.dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(std::vector<std::string>({"attach", topic, topic}), HelpCalls(sandbox, 3));

  HWND items = OpenContextItems(run);
  ASSERT_NE(nullptr, items);
  std::string itemsTopic =
      "HtmlHelpA 0 " + sandbox.Path("korvik.chm") + "::/html/HELPContextItems.htm 0";
  ASSERT_TRUE(driver::Press(items, IDC_HELP_BUTTON));
  EXPECT_EQ(4u, HelpCalls(sandbox, 4).size());
  info.iCtrlId = 101;
  info.hItemHandle = GetDlgItem(items, 101);
  SendMessageA(items, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  // The button once more: whatever F1 opened stands before its line.
  ASSERT_TRUE(driver::Press(items, IDC_HELP_BUTTON));
  std::vector<std::string> calls = HelpCalls(sandbox, 6);
  ASSERT_EQ(6u, calls.size());
  EXPECT_EQ(std::vector<std::string>(3, itemsTopic),
            std::vector<std::string>(calls.begin() + 3, calls.end()))
      << "F1 in the items dialog opened more than its own topic";
  PressAndWait(items, IDCANCEL);

  EscapeAndWait(run.dialog);
  ExpectExit(run);
  // At the end of the run: every help window closed while OLE, which the
  // viewer needs, still runs; then the control unloaded.
  calls = HelpCalls(sandbox, 8);
  ASSERT_EQ(8u, calls.size());
  EXPECT_EQ("HtmlHelpA 12 - 0 with OLE", calls[6]);
  EXPECT_EQ("detach FreeLibrary", calls[7]);
}

TEST_F(SetupTest, RunWithoutHelpNeverLoadsTheHelpControl) {
  Sandbox sandbox("setup-no-help");
  ASSERT_TRUE(sandbox.CopyIn(test::WindowsPath(KORVIK_HHCTRL_STANDIN), "hhctrl.ocx"));
  ScopedNativeHelp nativeHelp;
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;
  HWND items = OpenContextItems(run);
  ASSERT_NE(nullptr, items);
  PressAndWait(items, IDCANCEL);
  EscapeAndWait(run.dialog);
  ExpectExit(run);
  EXPECT_FALSE(sandbox.Exists("hhctrl.log"));
}

// --- the dialogs as shown ------------------------------------------------------

// What a dialog shows, child by child in the order Tab walks them: the id
// (-1 for a label) and the text, UTF-8 (nullptr where it comes from the run).
struct Shown {
  int id;
  const char* text;
};

// A frame around the controls with ids first to last.
struct Group {
  const char* text;
  int first, last;
};

RECT ItemRect(HWND dialog, HWND item) {
  RECT rect;
  GetWindowRect(item, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool IsFrame(HWND item) {
  return (GetWindowLongA(item, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
         driver::ClassName(item) == "Button";
}

// What a user finds in a live dialog: the texts in order, every control
// whole inside the dialog and clear of the others, every button and box
// reachable with Tab, and each group's controls inside its frame.
void ExpectShows(HWND dialog, const std::vector<Shown>& shown, const std::vector<Group>& groups) {
  std::vector<HWND> items = driver::Items(dialog);
  ASSERT_EQ(shown.size(), items.size());
  RECT client;
  GetClientRect(dialog, &client);
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "control " << i << " id " << shown[i].id);
    EXPECT_EQ(shown[i].id, static_cast<short>(GetDlgCtrlID(items[i])));
    if (shown[i].text) {
      EXPECT_EQ(test::Acp(shown[i].text), driver::WindowText(items[i]));
    }
    RECT rect = ItemRect(dialog, items[i]), inside;
    EXPECT_TRUE(IsWindowVisible(items[i]));
    EXPECT_TRUE(IntersectRect(&inside, &rect, &client) && EqualRect(&inside, &rect));
    if (driver::ClassName(items[i]) != "Static" && !IsFrame(items[i])) {
      EXPECT_TRUE(GetWindowLongA(items[i], GWL_STYLE) & WS_TABSTOP) << "not reachable with Tab";
    }
    for (std::size_t k = 0; k < i && !IsFrame(items[i]); ++k) {
      RECT other = ItemRect(dialog, items[k]), common;
      EXPECT_TRUE(IsFrame(items[k]) || !IntersectRect(&common, &rect, &other)) << "covers " << k;
    }
  }
  for (const Group& group : groups) {
    SCOPED_TRACE(group.text);
    auto frame = std::find_if(items.begin(), items.end(), [&](HWND item) {
      return IsFrame(item) && driver::WindowText(item) == test::Acp(group.text);
    });
    ASSERT_NE(items.end(), frame);
    RECT outer = ItemRect(dialog, *frame), inside;
    for (int id = group.first; id <= group.last; ++id) {
      RECT rect = ItemRect(dialog, GetDlgItem(dialog, id));
      EXPECT_TRUE(IntersectRect(&inside, &rect, &outer) && EqualRect(&inside, &rect)) << id;
    }
  }
}

// Clicks every check box from first to last twice: each must change and
// come back, as a box a user clicks does.
void ExpectBoxesWork(HWND dialog, int first, int last) {
  for (int id = first; id <= last; ++id) {
    SCOPED_TRACE(id);
    for (int round = 0; round < 2; ++round) {
      int before = driver::CheckState(dialog, id);
      ASSERT_TRUE(driver::Press(dialog, id));
      EXPECT_TRUE(test::WaitUntil([&] { return driver::CheckState(dialog, id) == !before; }));
    }
  }
}

TEST_F(SetupTest, DialogsShowTheirControlsWholeAndWorking) {
  Store("Setup\\Links", "Programs", 0);
  Sandbox sandbox("setup-templates");
  Session run;
  StartSetup(run, sandbox);
  if (!run.dialog) return;
  DWORD style = static_cast<DWORD>(GetWindowLongA(run.dialog, GWL_STYLE));
  EXPECT_EQ(static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_POPUP),
            style & (WS_CAPTION | WS_SYSMENU | WS_POPUP));
  std::vector<Shown> setup = {{-1, "Korvik 关联文件类型"}};
  const char* labels[] = {"&ORV", "&ZIP", "CAB", "ARJ", "LZH", "ACE", "7-Zip",
                          "TAR",  "GZip", "UUE", "BZ2", "JAR", "ISO", "Z"};
  for (int n = 0; n < 14; ++n) setup.push_back({IDC_TYPE_FIRST + n, labels[n]});
  std::vector<Shown> rest = {
      {-1, ""},
      {IDC_SELECT_ALL, "全部选定(&A)"},
      {-1, "界面设置"},
      {IDC_DESKTOP, "将 Korvik 放到桌面(&D)"},
      {IDC_START_MENU, "将 Korvik 放到开始菜单(&S)"},
      {IDC_PROGRAMS, "创建 Korvik 程序组(&P)"},
      {IDC_SHELL_EXT, "集成 Korvik 到外壳中(&I)"},
      {-1, "外壳集成"},
      {IDC_CASCADED_MENU, "折叠关联菜单(&T)"},
      {IDC_MENU_ICONS, "在关联菜单中显示图标(&N)"},
      {IDC_CONTEXT_ITEMS, "关联菜单项目(&C)..."},
      {-1, ""},
      {IDC_EXPLANATION, nullptr},
      {IDOK, "确定"},
      {IDC_HELP_BUTTON, "帮助"},
  };
  setup.insert(setup.end(), rest.begin(), rest.end());
  ExpectShows(run.dialog, setup,
              {{"Korvik 关联文件类型", IDC_TYPE_FIRST, IDC_TYPE_LAST},
               {"Korvik 关联文件类型", IDC_SELECT_ALL, IDC_SELECT_ALL},
               {"界面设置", IDC_DESKTOP, IDC_PROGRAMS},
               {"外壳集成", IDC_SHELL_EXT, IDC_MENU_ICONS},
               {"外壳集成", IDC_CONTEXT_ITEMS, IDC_CONTEXT_ITEMS}});
  ExpectBoxesWork(run.dialog, IDC_TYPE_FIRST, IDC_MENU_ICONS);
  std::string explanation = driver::ItemText(run.dialog, IDC_EXPLANATION);
  EXPECT_EQ(0u, explanation.find(test::Acp("\xEE\x97\xA5\xEE\x97\xA5这些选项控制 Korvik")))
      << test::Utf8(explanation);
  EXPECT_NE(std::string::npos,
            explanation.find(test::Acp(
                "\xEE\x97\xA5\xEE\x97\xA5点击『帮助』按钮阅读关于这些选项的更多细节描述。")));
  // Read only: what is typed there changes nothing.
  HWND box = GetDlgItem(run.dialog, IDC_EXPLANATION);
  SendMessageA(box, WM_CHAR, 'x', 0);
  EXPECT_EQ(explanation, driver::ItemText(run.dialog, IDC_EXPLANATION));

  HWND items = OpenContextItems(run);
  ASSERT_NE(nullptr, items);
  std::vector<Shown> context = {{-1, "选择在资源管理器关联菜单中显示的项目"}};
  const char* itemLabels[] = {"释放文件(&A)...",
                              "释放到这里(&X)",
                              "释放到(&E) <文件夹\\>",
                              "释放每个档案文件到单独的文件夹(&S)",
                              "用 Korvik 打开 (用于 SFX 档案文件)",
                              "添加到档案文件(&A)...",
                              "添加到(&T) <档案文件名>",
                              "压缩到 <档案文件名> 并邮寄",
                              "压缩并邮寄...",
                              "测试档案文件(&R)",
                              "转换档案文件(&V)..."};
  for (int k = 0; k < 11; ++k) context.push_back({IDC_MENU_ITEM_FIRST + k, itemLabels[k]});
  context.insert(context.end(), {{IDOK, "确定"}, {IDCANCEL, "取消"}, {IDC_HELP_BUTTON, "帮助"}});
  ExpectShows(items, context,
              {{"选择在资源管理器关联菜单中显示的项目", IDC_MENU_ITEM_FIRST, IDC_MENU_ITEM_LAST}});
  ExpectBoxesWork(items, IDC_MENU_ITEM_FIRST, IDC_MENU_ITEM_LAST);
  EXPECT_EQ(MAKELRESULT(IDOK, DC_HASDEFID), SendMessageA(items, DM_GETDEFID, 0, 0));
  PressAndWait(items, IDCANCEL);

  PressAndWait(run.dialog, IDOK);
  HWND done = WaitForDone(run);
  ASSERT_NE(nullptr, done);
  std::vector<Shown> completion = {
      {IDOK, "完成"},
      {-1, "Korvik 已经成功地安装到指定文件夹中"},
      {IDC_INSTALL_FOLDER, nullptr},
      {-1, "使用 Korvik“选项”菜单中的“设置...”命令可以定制更多的选择。"},
      {-1, "如果这是你第一次安装 Korvik，请不要忘记阅读联机帮助。"},
      {IDC_HOME_PAGE_NOTE,
       "请访问 Korvik 主页来下载最新版的 Korvik。在这里你也可以通过我们的安全交易服务器购买你的 "
       "Korvik 授权。"},
      {-1, ""},
      {IDC_RUN_KORVIK, nullptr},
      {IDC_READ_HELP, nullptr},
      {IDC_VIEW_LICENSE, nullptr},
      {IDC_ORDER, nullptr},
      {IDC_VISIT_HOME_PAGE, nullptr},
      {-1, ""},
      {IDC_THANKS, "感谢您使用 Korvik！"},
  };
  ExpectShows(done, completion, {});
  PressAndWait(done, IDOK);
  ExpectExit(run);
}

// --- what the setup can and cannot show --------------------------------------

// A DLL that uninstall.exe loads another way (Wine's per-program load
// order; "" is disabled) while the object lives.
class ScopedDllOverride {
 public:
  ScopedDllOverride(const char* dll, const char* loadOrder) : dll_(dll) {
    test::WriteText(HKEY_CURRENT_USER, kKey, dll, loadOrder);
  }
  ~ScopedDllOverride() { DeleteValue(HKEY_CURRENT_USER, kKey, dll_); }
  ScopedDllOverride(const ScopedDllOverride&) = delete;
  ScopedDllOverride& operator=(const ScopedDllOverride&) = delete;

 private:
  static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\uninstall.exe\\DllOverrides";
  const char* dll_;
};

// SETUPDLG either comes up (from the program's own resources when the
// language library holds strings alone, or a SETUPDLG that cannot be made or
// lacks the type boxes; never collapsed by a scale entry), or, when not even
// the built-in one can be made, the setup ends as a cancel would: no
// completion dialog claims an installation that stored and applied nothing.
// The uninstall entry is written then all the same, so that the installed
// files stay removable.
TEST_F(SetupTest, SettingsDialogComesUpWholeOrTheSetupEndsAsCancelled) {
  struct Row {
    const char* name;
    bool noRichEdit;      // riched32.dll cannot be loaded
    const char* library;  // a fixture "orvlng.dll" beside the program
    const char* scale;    // SETUPDLG's scale entry in "uninstall.lng"
    bool shown;
    int widthPercent, heightPercent;  // of the built-in dialog's client area
  };
  const Row rows[] = {
      {"built in", false, nullptr, nullptr, true, 100, 100},
      {"no rich edit library", true, nullptr, nullptr, false, 0, 0},
      {"no rich edit library, library dialog unusable", true, "noclass", nullptr, false, 0, 0},
      {"library of strings alone", false, "translated", nullptr, true, 100, 100},
      {"library dialog that cannot be made", false, "noclass", nullptr, true, 100, 100},
      {"library dialog without type boxes", false, "notypes", nullptr, true, 100, 100},
      {"scale without a height", false, nullptr, "125*", true, 125, 100},
      {"scale of zero and less", false, nullptr, "0*-50", true, 100, 100},
      // Held at half the height: 11 percent would leave a strip.
      {"scale of 11 percent in height", false, nullptr, "125*11", true, 125, 50},
      {"scale of 900 percent in width", false, nullptr, "900*100", true, 400, 100},
  };
  RECT builtIn{};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::ResetFootprint(kPrepared);
    Store("Setup\\Links", "Programs", 0);  // no group folder to open afterwards
    Sandbox sandbox("setup-shown");
    if (row.library) {
      ASSERT_TRUE(sandbox.CopyIn(e2e::FixtureLibrary(row.library), "orvlng.dll"));
    }
    if (row.scale) {
      ASSERT_TRUE(sandbox.WriteFile(
          "uninstall.lng", std::string("***messages***\r\n9b889d24=\"") + row.scale + "\"\r\n"));
    }
    std::unique_ptr<ScopedDllOverride> richEdit;
    if (row.noRichEdit) richEdit = std::make_unique<ScopedDllOverride>("riched32", "");
    Session run;
    if (!row.shown) {
      ASSERT_TRUE(driver::Start(run.process, sandbox.Options("/setup")));
      HWND dialog = driver::WaitForDialog(run.process, e2e::kDialogTimeoutMs);
      EXPECT_EQ(nullptr, dialog) << driver::WindowText(dialog);
      if (dialog) PressAndWait(dialog, IDOK);
      ExpectExit(run);
      EXPECT_EQ(0, Stored("Setup\\Links", "Programs"));  // as before: nothing stored
      EXPECT_EQ(-1, Stored("Setup\\.zip", "Set"));
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".zip"));
      ExpectUninstallEntry(sandbox);
      continue;
    }
    StartSetup(run, sandbox);
    if (!run.dialog) return;
    RECT client{};
    GetClientRect(run.dialog, &client);
    if (!row.scale && !row.library) builtIn = client;
    // A scaled dialog's client area keeps the extra pixel of the frame measure.
    int extra = row.widthPercent != 100 || row.heightPercent != 100 ? 1 : 0;
    EXPECT_EQ(builtIn.right * row.widthPercent / 100 + extra, client.right);
    EXPECT_EQ(builtIn.bottom * row.heightPercent / 100 + extra, client.bottom);
    if (row.library) {
      HWND items = OpenContextItems(run);
      ASSERT_NE(nullptr, items);
      PressAndWait(items, IDCANCEL);
    }
    OkThroughToTheEnd(run);
    EXPECT_EQ(1, Stored("Setup\\.zip", "Set"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  }
}

// The end of a setup through the dialogs opens the program group folder; a
// silent setup opens nothing. Opening a folder here starts the archiver's
// stand-in, which records what it was given.
TEST_F(SetupTest, OnlyASetupThroughTheDialogsOpensTheProgramGroupAtTheEnd) {
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "through the dialogs");
    test::ResetFootprint(kPrepared);
    Sandbox sandbox("setup-open-group");
    ScopedClassDefault folderOpen("Folder\\shell\\open\\command",
                                  "\"" + sandbox.Path("Korvik.exe") + "\" \"%1\"");
    Session run;
    if (silent) {
      driver::StartOptions options = sandbox.Options("/setup");
      options.setEnv = {"sfxcmd=/S"};
      ASSERT_TRUE(driver::Start(run.process, options));
      ExpectExit(run);
    } else {
      StartSetup(run, sandbox);
      if (!run.dialog) return;
      OkThroughToTheEnd(run);
    }
    const std::string group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvik";
    EXPECT_TRUE(test::Exists(group + "\\Korvik.lnk"));
    if (silent) {
      // Whatever the run started has ended by then.
      ASSERT_TRUE(sandbox.WaitUntilAllEnded());
      EXPECT_FALSE(sandbox.Exists("Korvik.started.log"));
    } else {
      std::vector<std::string> opened = WaitForLines(sandbox.Path("Korvik.started.log"), 1);
      ASSERT_EQ(1u, opened.size());
      EXPECT_EQ(0u, opened[0].find("\"" + sandbox.Path("Korvik.exe") + "\" \"" + group + "\"\t"))
          << opened[0];
    }
  }
}

}  // namespace
