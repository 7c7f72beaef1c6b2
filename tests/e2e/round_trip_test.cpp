// Install and uninstall as a user does: the stand-in installer lays out an
// installation and runs the setup; the registered "UninstallString" is then
// run as the system runs it (the quoted path), and the self-removal batch
// file finishes. The registry and the disk must then be as before, but for
// what is documented to remain. The installer and the installation lie in
// folders whose names hold characters of two bytes, one with 0x5C as its
// second byte.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "e2e/sandbox.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

using test::WriteText;

constexpr char kRoot[] = "C:\\KorvikTests\\round-trip";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvik archiver";
constexpr DWORD kRemovalTimeoutMs = 30000;

std::string InstallFolder() {
  return std::string(kRoot) + "\\Program Files\\" + test::Acp("Korvik 乗表");
}
std::string Payload() { return std::string(kRoot) + "\\" + test::Acp("安装包"); }
std::string TempFolder() { return std::string(kRoot) + "\\temp"; }

// --- snapshots ------------------------------------------------------------

using Snapshot = test::RegistrySnapshot;

const std::vector<test::RegistryKey> kPrepared = {{HKEY_CLASSES_ROOT, "OtherZip.File"},
                                                  {HKEY_CLASSES_ROOT, "OtherCab.File"},
                                                  {HKEY_CLASSES_ROOT, "OtherGz.File"},
                                                  {HKEY_CLASSES_ROOT, "ThirdParty.Gz"},
                                                  {HKEY_CLASSES_ROOT, "OtherRev.File"}};

// The footprint and what is around it, the keys above, and the folders
// where links and the installation live.
Snapshot Take() {
  return test::SnapshotFootprint(kPrepared, {std::string(kRoot) + "\\Program Files"});
}

std::string Lower(std::string text) {
  CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += test::Utf8(line) + "\n";
  return all;
}

// --- the system before setup --------------------------------------------------

const char* const kHandlerKeys[] = {
    "*\\shellex\\ContextMenuHandlers",         "Folder\\shellex\\ContextMenuHandlers",
    "Folder\\shellex\\DragDropHandlers",       "Drive\\shellex\\DragDropHandlers",
    "Directory\\shellex\\ContextMenuHandlers", "Directory\\shellex\\DragDropHandlers"};

void Reset() {
  test::RemoveTree(kRoot);
  test::ResetFootprint(kPrepared);
}

// Former owners: ".zip" and ".cab" with a program id, a content type and a
// new-file entry; ".gz" with a program id only; ".rev" with a class, a
// content type and subkeys; the volume extension ".o05"; the others absent.
void FormerOwners() {
  WriteText(HKEY_CLASSES_ROOT, ".zip", nullptr, "OtherZip.File");
  WriteText(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/x-other-zip");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile", "");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Command", "C:\\Other\\other.exe /new");
  WriteText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "IconPath", "C:\\Other\\other.exe,1");
  WriteText(HKEY_CLASSES_ROOT, ".rev", nullptr, "OtherRev.File");
  WriteText(HKEY_CLASSES_ROOT, ".rev", "Content Type", "application/x-other-rev");
  WriteText(HKEY_CLASSES_ROOT, ".rev\\OpenWithProgids", "OtherRev.File", "");
  WriteText(HKEY_CLASSES_ROOT, ".rev\\PersistentHandler", nullptr,
            "{5E941D80-BF96-11CD-B579-08002B30BFEB}");
  WriteText(HKEY_CLASSES_ROOT, "OtherRev.File", nullptr, "Other recovery volume");
  WriteText(HKEY_CLASSES_ROOT, ".o05", nullptr, "OtherZip.File");
  WriteText(HKEY_CLASSES_ROOT, ".o05", "Content Type", "application/x-other-volume");
  WriteText(HKEY_CLASSES_ROOT, "OtherZip.File", nullptr, "Other ZIP");
  WriteText(HKEY_CLASSES_ROOT, ".cab", nullptr, "OtherCab.File");
  WriteText(HKEY_CLASSES_ROOT, ".cab", "Content Type", "application/vnd.ms-cab-compressed");
  WriteText(HKEY_CLASSES_ROOT, ".cab\\ShellNew", "FileName", "C:\\Other\\empty.cab");
  WriteText(HKEY_CLASSES_ROOT, ".gz", nullptr, "OtherGz.File");
}

// --- running -----------------------------------------------------------------

// The uninstall runs in it, and so does the batch file, which outlives the
// program; it is closed when the test ends.
std::unique_ptr<driver::Job> uninstallJob;

driver::StartOptions Options(const driver::Job* job = nullptr) {
  driver::StartOptions options;
  options.job = job;
  options.workDir = kRoot;
  options.unsetEnv = {"sfxcmd"};
  options.setEnv = {"TEMP=" + TempFolder(), "TMP=" + TempFolder()};
  return options;
}

void LayOutPayload() {
  test::MakeFolders(Payload());
  test::MakeFolders(TempFolder());
  ASSERT_TRUE(CopyFileA(test::WindowsPath(KORVIK_INSTALLER_EXE).c_str(),
                        (Payload() + "\\KorvikSetup.exe").c_str(), FALSE));
  ASSERT_TRUE(
      CopyFileA(e2e::BuiltProgram().c_str(), (Payload() + "\\uninstall.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(e2e::BuiltStandIn().c_str(), (Payload() + "\\Korvik.exe").c_str(), FALSE));
}

void InstallSilently() {
  driver::Process process;
  driver::StartOptions options = Options();
  options.exe = Payload() + "\\KorvikSetup.exe";
  options.args = driver::QuoteArgument(InstallFolder()) + " /S";
  ASSERT_TRUE(driver::Start(process, options));
  DWORD code = 1;
  ASSERT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
  ASSERT_EQ(0u, code);
  ASSERT_TRUE(test::Exists(InstallFolder() + "\\Korvik.exe"));
}

// A dialog of the "uninstall.exe" that the installer started (the
// installer has no windows of its own), found by its caption.
HWND WaitForSetupDialog(const driver::Job& job, const std::string& caption) {
  HWND found = nullptr;
  test::WaitUntil([&] {
    for (HWND dialog : driver::Dialogs(job)) {
      if (IsWindowEnabled(dialog) && driver::WindowText(dialog) == caption) found = dialog;
    }
    return found != nullptr;
  });
  return found;
}

// Through the dialogs: CAB unticked, the desktop link ticked.
void InstallWithChoices() {
  driver::Job job;
  driver::Process process;
  driver::StartOptions options = Options(&job);
  options.exe = Payload() + "\\KorvikSetup.exe";
  options.args = driver::QuoteArgument(InstallFolder());
  ASSERT_TRUE(driver::Start(process, options));
  const std::string caption = test::Acp("Korvik 安装");
  HWND setup = WaitForSetupDialog(job, caption);
  ASSERT_NE(nullptr, setup);
  ASSERT_TRUE(driver::HasItem(setup, IDC_EXPLANATION)) << "not SETUPDLG";
  ASSERT_EQ(BST_CHECKED, driver::CheckState(setup, IDC_TYPE_FIRST + 2));  // CAB
  ASSERT_EQ(BST_UNCHECKED, driver::CheckState(setup, IDC_DESKTOP));
  ASSERT_TRUE(driver::Press(setup, IDC_TYPE_FIRST + 2));
  ASSERT_TRUE(driver::Press(setup, IDC_DESKTOP));
  // The clicks are posted: OK only once the boxes show them.
  test::WaitUntil([&] {
    return driver::CheckState(setup, IDC_TYPE_FIRST + 2) == BST_UNCHECKED &&
           driver::CheckState(setup, IDC_DESKTOP) == BST_CHECKED;
  });
  ASSERT_EQ(BST_UNCHECKED, driver::CheckState(setup, IDC_TYPE_FIRST + 2));
  ASSERT_EQ(BST_CHECKED, driver::CheckState(setup, IDC_DESKTOP));
  ASSERT_TRUE(driver::Press(setup, IDOK));
  ASSERT_TRUE(driver::WaitForClosed(setup, e2e::kDialogTimeoutMs));
  HWND done = WaitForSetupDialog(job, caption);
  ASSERT_NE(nullptr, done);
  ASSERT_FALSE(driver::HasItem(done, IDC_EXPLANATION)) << "not DONEDLG";
  ASSERT_TRUE(driver::Press(done, IDOK));
  ASSERT_TRUE(driver::WaitForClosed(done, e2e::kDialogTimeoutMs));
  DWORD code = 1;
  ASSERT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
  ASSERT_EQ(0u, code);
}

// As the list of installed programs does it: the registered command line
// as it stands, then "Yes" to the question; waits for the batch file.
void UninstallAsTheSystemDoes() {
  std::string command = test::ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
  ASSERT_EQ("\"" + InstallFolder() + "\\uninstall.exe\"", command);
  driver::Process process;
  driver::StartOptions options = Options(uninstallJob.get());
  options.rawCommandLine = command;
  ASSERT_TRUE(driver::Start(process, options));
  HWND question = driver::WaitForDialog(process, e2e::kDialogTimeoutMs);
  ASSERT_NE(nullptr, question);
  ASSERT_TRUE(driver::Press(question, IDYES));
  DWORD code = 1;
  ASSERT_TRUE(driver::WaitForExit(process, e2e::kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(test::WaitForPath(InstallFolder(), false, kRemovalTimeoutMs));
  EXPECT_TRUE(test::WaitForPath(TempFolder() + "\\Uninstall_Orv.Bat", false, kRemovalTimeoutMs));
}

// What stays after an uninstall, by design: the handler keys named by the
// handler name (their default value removed), the parents the platform
// created for them, and ".gz" as the program that took it over left it.
std::vector<std::string> ExpectedLeftovers(const Snapshot& before, bool gzTakenOver) {
  std::vector<std::string> left;
  // Each key down to a handler key that did not exist before.
  auto created = [&](const std::string& key) {
    for (std::size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
      std::string path = "HKCR\\" + key.substr(0, end);
      if (before.find(path + "\\") == before.end()) left.push_back("+ " + path + "\\");
      if (end == std::string::npos) break;
    }
  };
  for (const char* key : kHandlerKeys) {
    created(key);
    for (const char* name : test::HandlerNamesInUse()) {
      left.push_back("+ HKCR\\" + std::string(key) + "\\" + name + "\\");
    }
  }
  created("exefile\\shellex\\PropertySheetHandlers");
  if (gzTakenOver) {
    left.push_back("- HKCR\\.gz| = " + test::SnapshotText("OtherGz.File"));
    left.push_back("+ HKCR\\.gz| = " + test::SnapshotText("ThirdParty.Gz"));
    // Another program's registration below ".7z", made since setup.
    left.push_back("+ HKCR\\.7z\\");
    left.push_back("+ HKCR\\.7z\\OpenWithProgids\\");
    left.push_back("+ HKCR\\.7z\\OpenWithProgids|Other.7z = " + test::SnapshotText(""));
  }
  return left;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  for (std::string& line : lines) line = Lower(line);
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

class RoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uninstallJob = std::make_unique<driver::Job>();
    Reset();
  }
  void TearDown() override {
    uninstallJob.reset();
    Reset();
  }
};

// A saved former association below the product key; "<none>" when missing.
std::string Former(const char* extension, const char* name) {
  std::string text =
      test::ReadText(HKEY_CURRENT_USER, std::string("Software\\Korvik\\Setup\\") + extension, name);
  return text == "<absent>" ? "<none>" : text;
}

// Between the two setups another program may take ".zip" by its default
// value alone: it keeps that, and gets the former new-file entry back
// without the product's template.
TEST_F(RoundTripTest, SilentInstallTwiceThenUninstallLeavesOnlyWhatIsMeantToStay) {
  for (bool zipTaken : {false, true}) {
    SCOPED_TRACE(zipTaken ? ".zip taken between the setups" : "nothing changed in between");
    Reset();
    FormerOwners();
    LayOutPayload();
    Snapshot before = Take();

    InstallSilently();
    EXPECT_EQ("OtherZip.File", Former(".zip", "Type"));
    if (zipTaken) WriteText(HKEY_CLASSES_ROOT, ".zip", nullptr, "Y.zip");
    // A second setup over the installation keeps the state from before the
    // first, or from before the second for a type taken in between.
    InstallSilently();
    EXPECT_EQ(zipTaken ? "Y.zip" : "OtherZip.File", Former(".zip", "Type"));
    EXPECT_EQ(zipTaken ? "" : "application/x-other-zip", Former(".zip", "Content"));
    EXPECT_EQ("*", Former(".zip", "ShellNew"));
    EXPECT_EQ("C:\\Other\\empty.cab", Former(".cab", "ShellNew"));
    std::vector<std::string> installed = test::SnapshotDifferences(before, Take());
    EXPECT_GT(installed.size(), 100u);

    // Other programs take ".gz" over and register with ".7z" before the
    // uninstall.
    WriteText(HKEY_CLASSES_ROOT, ".gz", nullptr, "ThirdParty.Gz");
    WriteText(HKEY_CLASSES_ROOT, ".7z\\OpenWithProgids", "Other.7z", "");
    UninstallAsTheSystemDoes();

    std::vector<std::string> expected = ExpectedLeftovers(before, true);
    if (zipTaken) {
      expected.push_back("- HKCR\\.zip| = " + test::SnapshotText("OtherZip.File"));
      expected.push_back("+ HKCR\\.zip| = " + test::SnapshotText("Y.zip"));
      expected.push_back("- HKCR\\.zip|Content Type = " +
                         test::SnapshotText("application/x-other-zip"));
    }
    EXPECT_EQ(Lines(Sorted(expected)), Lines(Sorted(test::SnapshotDifferences(before, Take()))));
  }
}

TEST_F(RoundTripTest, InstallThroughTheDialogsWithChangedChoicesThenUninstall) {
  FormerOwners();
  LayOutPayload();
  Snapshot before = Take();

  InstallWithChoices();
  // CAB stays with its owner, so no former owner is kept for it; the
  // desktop link is there.
  EXPECT_EQ("<none>", Former(".cab", "Type"));
  EXPECT_EQ("OtherZip.File", Former(".zip", "Type"));
  std::vector<std::string> installed = test::SnapshotDifferences(before, Take());
  bool desktopLink = false;
  const std::string link =
      Lower("+ FILE " + test::SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Korvik.lnk = ");
  for (const std::string& change : installed) {
    std::string lower = Lower(change);
    if (lower.compare(0, link.size(), link) == 0) desktopLink = true;
    EXPECT_EQ(std::string::npos, lower.find("hkcr\\.cab|")) << change;
    EXPECT_EQ(std::string::npos, lower.find("hkcr\\.cab\\")) << change;
  }
  EXPECT_TRUE(desktopLink) << Lines(installed);

  UninstallAsTheSystemDoes();
  EXPECT_EQ(Lines(Sorted(ExpectedLeftovers(before, false))),
            Lines(Sorted(test::SnapshotDifferences(before, Take()))));
}

}  // namespace
