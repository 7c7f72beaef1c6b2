#include "e2e/sandbox.h"

#include <windows.h>

#include "support/test_support.h"

namespace e2e {

std::string BuiltProgram() { return test::WindowsPath(KORVIK_UNINSTALL_EXE); }

std::string BuiltStandIn() { return test::WindowsPath(KORVIK_STANDIN_EXE); }

std::string BuiltFaultyProgram() { return test::WindowsPath(KORVIK_UNINSTALL_FAULTY_EXE); }

std::string FixtureLibrary(const char* folder) { return test::FixtureFile(folder, "orvlng.dll"); }

Sandbox::Sandbox(const std::string& name, const std::string& installName)
    : root_("C:\\KorvikTests\\" + name), folder_(root_ + "\\" + installName) {
  test::RemoveTree(root_);
  test::MakeFolders(folder_);
  CopyIn(BuiltProgram(), "uninstall.exe");
  CopyIn(BuiltStandIn(), "Korvik.exe");
}

Sandbox::~Sandbox() {
  job_.Close();  // what still runs may hold files of the folder
  test::RemoveTree(root_);
}

HWND Sandbox::WaitForMessageBox(const std::string& caption, unsigned long timeoutMs) const {
  HWND found = nullptr;
  test::WaitUntil(
      [&] {
        for (HWND box : Dialogs()) {
          if (driver::WindowText(box) == caption) found = box;
        }
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

std::string Sandbox::Path(const std::string& relative) const { return folder_ + "\\" + relative; }

bool Sandbox::Exists(const std::string& relative) const { return test::Exists(Path(relative)); }

bool Sandbox::WriteFile(const std::string& relative, const std::string& contents) const {
  std::string path = Path(relative);
  test::MakeFolders(path.substr(0, path.find_last_of('\\')));
  return test::WriteWholeFile(path, contents);
}

std::string Sandbox::ReadFile(const std::string& relative) const {
  return test::ReadWholeFile(Path(relative));
}

bool Sandbox::CopyIn(const std::string& source, const std::string& relative) const {
  return CopyFileA(source.c_str(), Path(relative).c_str(), FALSE) != FALSE;
}

driver::StartOptions Sandbox::Options(const std::string& args) const {
  driver::StartOptions options;
  options.exe = ProgramPath();
  options.args = args;
  options.workDir = folder_;
  options.unsetEnv = {"sfxcmd"};
  options.job = &job_;
  return options;
}

}  // namespace e2e
