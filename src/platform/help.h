// The archiver's compiled help file "korvik.chm" beside the program, shown
// through the HTML help control, which is loaded only when help is first
// asked for.
#pragma once

#include <windows.h>

// Opens the help file at a topic (a page under "/html/", without its
// extension), or at its table of contents when topic is null.
void ShowHelp(HWND owner, const char* topic);

// Closes every help window and unloads the control. The run ends with it,
// before OLE ends; a second call does nothing.
void CloseHelp();

// Its one instance, constructed first at static start-up, closes the help
// viewer at exit should the run not have closed it.
class UnloadHelpSystem {
 public:
  UnloadHelpSystem() = default;
  UnloadHelpSystem(const UnloadHelpSystem&) = delete;
  UnloadHelpSystem& operator=(const UnloadHelpSystem&) = delete;
  ~UnloadHelpSystem() { CloseHelp(); }
};

// For tests: whether the control has been loaded, and how often its entry
// point was looked up.
bool HelpLibraryLoadedForTest();
int HelpLookupsForTest();
