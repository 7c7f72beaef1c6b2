#include "e2e/sandbox.h"

#include <windows.h>

#include <vector>

#include "support/test_support.h"

namespace e2e {

std::string BuiltProgram() { return test::WindowsPath(KORVIK_UNINSTALL_EXE); }

std::string BuiltStandIn() { return test::WindowsPath(KORVIK_STANDIN_EXE); }

std::string FixtureLibrary(const char* folder) {
  return test::ExeFolder() + "\\fixtures\\" + folder + "\\orvlng.dll";
}

bool RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
  return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

namespace {

void MakeFolders(const std::string& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

}  // namespace

Sandbox::Sandbox(const std::string& name, const std::string& installName)
    : root_("C:\\KorvikTests\\" + name), folder_(root_ + "\\" + installName) {
  RemoveTree(root_);
  MakeFolders(folder_);
  CopyIn(BuiltProgram(), "uninstall.exe");
  CopyIn(BuiltStandIn(), "Korvik.exe");
}

Sandbox::~Sandbox() { RemoveTree(root_); }

std::string Sandbox::Path(const std::string& relative) const { return folder_ + "\\" + relative; }

bool Sandbox::Exists(const std::string& relative) const {
  return GetFileAttributesA(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Sandbox::WriteFile(const std::string& relative, const std::string& contents) const {
  std::string path = Path(relative);
  MakeFolders(path.substr(0, path.find_last_of('\\')));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written,
                        nullptr);
  CloseHandle(file);
  return ok && written == contents.size();
}

std::string Sandbox::ReadFile(const std::string& relative) const {
  HANDLE file = CreateFileA(Path(relative).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string contents;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    contents.append(buffer, read);
  }
  CloseHandle(file);
  return contents;
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
