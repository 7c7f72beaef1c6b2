#include "e2e/sandbox.h"

#include <windows.h>

#include "support/test_support.h"

namespace e2e {

std::string BuiltProgram() { return test::WindowsPath(KORVIK_UNINSTALL_EXE); }

std::string BuiltStandIn() { return test::WindowsPath(KORVIK_STANDIN_EXE); }

std::string BuiltFaultyProgram() { return test::WindowsPath(KORVIK_UNINSTALL_FAULTY_EXE); }

std::string FixtureLibrary(const char* folder) {
  return test::ExeFolder() + "\\fixtures\\" + folder + "\\orvlng.dll";
}

namespace {

BOOL CALLBACK AddVisibleDialog(HWND window, LPARAM list) {
  if (IsWindowVisible(window) && driver::ClassName(window) == "#32770") {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> VisibleDialogsOfAnyProcess() {
  std::vector<HWND> found;
  EnumWindows(AddVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

Sandbox::Sandbox(const std::string& name, const std::string& installName)
    : root_("C:\\KorvikTests\\" + name), folder_(root_ + "\\" + installName) {
  test::RemoveTree(root_);
  test::MakeFolders(folder_);
  CopyIn(BuiltProgram(), "uninstall.exe");
  CopyIn(BuiltStandIn(), "Korvik.exe");
}

Sandbox::~Sandbox() { test::RemoveTree(root_); }

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
  return options;
}

}  // namespace e2e
