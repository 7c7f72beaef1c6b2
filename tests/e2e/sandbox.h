// An installation folder of its own for one end-to-end test: the built
// uninstall.exe and the stand-in "Korvik.exe" copied in. The folder is
// removed before the test and again after it.
#pragma once

#include <string>

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

  bool Exists(const std::string& relative) const;
  bool WriteFile(const std::string& relative, const std::string& contents) const;
  std::string ReadFile(const std::string& relative) const;
  bool CopyIn(const std::string& source, const std::string& relative) const;

  // Start options for the sandboxed program with the given arguments, run
  // from the installation folder.
  driver::StartOptions Options(const std::string& args) const;

 private:
  std::string root_;    // C:\KorvikTests\<name>
  std::string folder_;  // the installation folder
};

}  // namespace e2e
