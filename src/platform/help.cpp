#include "platform/help.h"

#include "platform/module.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

// "%s::/html/%s.htm": the help file path, then a topic.
constexpr std::size_t kTopicAddressSize = 1076;
constexpr UINT kDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
constexpr UINT kDisplayToc = 0x0001;    // HH_DISPLAY_TOC
constexpr UINT kCloseAll = 0x0012;      // HH_CLOSE_ALL

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

HMODULE helpLibrary = nullptr;
HtmlHelpFunction htmlHelp = nullptr;
char helpFilePath[kPathSize];
int lookups = 0;

bool FormHelpFilePath() { return PathBesideProgram("korvik.chm", helpFilePath, kPathSize); }

}  // namespace

void ShowHelp(HWND owner, const char* topic) {
  if (helpLibrary == nullptr) helpLibrary = LoadLibraryFile("hhctrl.ocx");
  if (htmlHelp == nullptr && helpLibrary != nullptr) {
    ++lookups;
    auto entry = FindFunction<HtmlHelpFunction>(helpLibrary, "HtmlHelpA");
    // A help file path that does not fit names no file: no help then.
    if (entry != nullptr && FormHelpFilePath()) htmlHelp = entry;
  }
  if (htmlHelp == nullptr) return;
  if (topic == nullptr) {
    htmlHelp(owner, helpFilePath, kDisplayToc, 0);
    return;
  }
  char address[kTopicAddressSize];
  if (FormatText(address, sizeof address, "%s::/html/%s.htm", helpFilePath, topic)) {
    htmlHelp(owner, address, kDisplayTopic, 0);
  }
}

void CloseHelp() {
  if (htmlHelp == nullptr) return;
  htmlHelp(nullptr, nullptr, kCloseAll, 0);
  FreeLibraryFile(helpLibrary);
  htmlHelp = nullptr;
  helpLibrary = nullptr;
}

bool HelpLibraryLoadedForTest() { return helpLibrary != nullptr; }

int HelpLookupsForTest() { return lookups; }
