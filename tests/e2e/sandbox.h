// An installation folder of its own for one end-to-end test: the built
// uninstall.exe and the stand-in "Korvik.exe" copied in. The folder is
// removed before the test and again after it. Every program the test starts
// runs in the sandbox's job, and so does whatever those start (the batch
// file and the instances it runs): nothing of a test outlives it.
#pragma once

#include <string>
#include <vector>

#include "driver.h"

namespace e2e {

constexpr unsigned long kDialogTimeoutMs = 15000;
constexpr unsigned long kExitTimeoutMs = 30000;

// Windows paths of the programs the build made.
std::string BuiltProgram();
std::string BuiltStandIn();
// The program built with test faults that environment variables switch on
// (tests/fault).
std::string BuiltFaultyProgram();
std::string FixtureLibrary(const char* folder);  // a test "orvlng.dll"

class Sandbox {
 public:
  // The installation folder is C:\KorvikTests\<name>\<installName>.
  explicit Sandbox(const std::string& name, const std::string& installName = "Korvik");
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& Root() const { return root_; }      // C:\KorvikTests\<name>
  const std::string& Folder() const { return folder_; }  // no trailing backslash
  std::string Path(const std::string& relative) const;
  std::string ProgramPath() const { return Path("uninstall.exe"); }
  // The temporary folder a test gives the program: C:\KorvikTests\<name>\temp.
  std::string TempFolder() const { return root_ + "\\temp"; }

  bool Exists(const std::string& relative) const;
  bool WriteFile(const std::string& relative, const std::string& contents) const;
  std::string ReadFile(const std::string& relative) const;
  bool CopyIn(const std::string& source, const std::string& relative) const;

  // Start options for the sandboxed program with the given arguments, run
  // from the installation folder in the sandbox's job.
  driver::StartOptions Options(const std::string& args) const;

  const driver::Job& Job() const { return job_; }
  // The visible dialogs and message boxes (class "#32770") of every process
  // in the job: those of the instances a batch file starts too.
  std::vector<HWND> Dialogs() const { return driver::Dialogs(job_); }
  // A message box of a process in the job with the given caption; null
  // after timeoutMs.
  HWND WaitForMessageBox(const std::string& caption, unsigned long timeoutMs) const;
  // True once everything started in the job has ended.
  bool WaitUntilAllEnded() const { return job_.WaitUntilEmpty(kExitTimeoutMs); }

 private:
  driver::Job job_;
  std::string root_;    // C:\KorvikTests\<name>
  std::string folder_;  // the installation folder
};

}  // namespace e2e

// The end-to-end tests' checked helpers (the bench builds this file without
// GoogleTest); failures name the caller's line.
#if __has_include(<gtest/gtest.h>)
#include <windows.h>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace e2e {

// A stand-in for the command interpreter: the Korvik stand-in, which
// records its command line and current folder and runs nothing, so that the
// self-removal batch file never runs and stays to be read.
inline std::string InterpreterStandIn(const Sandbox& sandbox, test::CallSite site = test::Here()) {
  ::testing::ScopedTrace trace(site.file, site.line, "InterpreterStandIn");
  std::string folder = sandbox.Root() + "\\shell";
  test::MakeFolders(folder);
  std::string path = folder + "\\cmd.exe";
  // The stand-in that an earlier run in this sandbox started ends by itself,
  // but may still be running: its file cannot be replaced until it has.
  DWORD deadline = GetTickCount() + kExitTimeoutMs;
  bool copied = false;
  while (!(copied = CopyFileA(BuiltStandIn().c_str(), path.c_str(), FALSE)) &&
         int(deadline - GetTickCount()) > 0) {
    Sleep(driver::kPollMs);
  }
  EXPECT_TRUE(copied);
  return path;
}

// The message box of "/warning", as shown.
struct Warning {
  std::string caption;
  std::string text;
  driver::Icon icon = driver::Icon::None;
};

// Runs the program with "/warning", reads the message and answers it.
inline Warning RunWarning(const Sandbox& sandbox, test::CallSite site = test::Here()) {
  ::testing::ScopedTrace trace(site.file, site.line, "RunWarning");
  Warning seen;
  driver::Process process;
  EXPECT_TRUE(driver::Start(process, sandbox.Options("/warning")));
  HWND box = driver::WaitForDialog(process, kDialogTimeoutMs);
  EXPECT_NE(nullptr, box);
  if (!box) return seen;
  seen.caption = driver::WindowText(box);
  seen.text = driver::MessageBoxText(box);
  seen.icon = driver::MessageBoxIcon(box);
  EXPECT_TRUE(driver::Press(box, IDOK));
  EXPECT_TRUE(driver::WaitForClosed(box, kDialogTimeoutMs));
  DWORD code = 1;
  EXPECT_TRUE(driver::WaitForExit(process, kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  return seen;
}

// Waits for the program to end with exit code 0 and no further message.
inline void ExpectEndsQuietly(const driver::Process& process, test::CallSite site = test::Here()) {
  ::testing::ScopedTrace trace(site.file, site.line, "ExpectEndsQuietly");
  HWND box = driver::WaitForDialog(process, kExitTimeoutMs);
  EXPECT_EQ(nullptr, box) << "unexpected message: " << test::Utf8(driver::MessageBoxText(box));
  if (box) driver::Press(box, IDOK);
  DWORD code = 1;
  EXPECT_TRUE(driver::WaitForExit(process, kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}

// Watches until the process has ended and then until `gone` (a path; none
// when empty) no longer exists, for at most kExitTimeoutMs each. Every
// dialog that a process of the sandbox shows meanwhile is read and answered with OK, so
// that the run goes on; their texts are given back.
inline std::vector<std::string> DialogsShownUntilDone(const Sandbox& sandbox,
                                                      const driver::Process& process,
                                                      const std::string& gone,
                                                      test::CallSite site = test::Here()) {
  ::testing::ScopedTrace trace(site.file, site.line, "DialogsShownUntilDone");
  std::vector<std::string> shown;
  auto answerAny = [&shown, &sandbox] {
    for (HWND box : sandbox.Dialogs()) {
      shown.push_back(driver::WindowText(box) + ": " + driver::MessageBoxText(box));
      if (!driver::Press(box, IDOK)) driver::Close(box);
      driver::WaitForClosed(box, kDialogTimeoutMs);
    }
  };
  for (DWORD start = GetTickCount(); process.Running(); Sleep(driver::kPollMs)) {
    answerAny();
    if (GetTickCount() - start >= kExitTimeoutMs) {
      ADD_FAILURE() << "the program did not end";
      return shown;
    }
  }
  for (DWORD start = GetTickCount(); !gone.empty() && test::Exists(gone); Sleep(driver::kPollMs)) {
    answerAny();
    if (GetTickCount() - start >= kExitTimeoutMs) {
      ADD_FAILURE() << gone << " is still there";
      return shown;
    }
  }
  answerAny();
  return shown;
}

}  // namespace e2e
#endif
