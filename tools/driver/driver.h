// End-to-end driver: starts a program under test and works its dialogs and
// message boxes from outside, as a user would. Runs in the same Windows (or
// Wine prefix) as the program. Texts are in the process's ANSI code page.
// Failures are reported by return values; nothing throws.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace driver {

constexpr std::size_t kMaxWindowText = 8192;  // bytes read from one window
constexpr std::size_t kMaxClassName = 256;
constexpr std::size_t kMaxCommandLine = 32767;  // CreateProcess limit, in chars
constexpr DWORD kPollMs = 20;
constexpr DWORD kMessageTimeoutMs = 2000;  // a hung target must not hang us
constexpr UINT kKilledExitCode = 0xDEAD;   // exit code of a killed process
constexpr DWORD kKillWaitMs = 5000;        // until killed processes are gone

// A kill-on-close job that a caller owns, for processes that must outlive
// the program that started them but not the caller's test: whatever runs in
// it ends when it is closed, at the latest when it is destroyed.
class Job {
 public:
  Job();
  ~Job() { Close(); }
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  HANDLE Handle() const { return job_; }
  // The processes that run in it now.
  std::vector<DWORD> ProcessIds() const;
  // True once no process runs in it any more; false after timeoutMs.
  bool WaitUntilEmpty(DWORD timeoutMs) const;
  // Ends whatever runs in it and waits until it is gone.
  void Close();

 private:
  HANDLE job_ = nullptr;
};

struct StartOptions {
  std::string exe;   // quoted as the command's first word
  std::string args;  // appended after the quoted exe, verbatim
  // When not empty: the whole command line, verbatim (e.g. an unquoted
  // path with blanks). `exe`, if given, is then the application name;
  // else the file the command names is found as Windows would find it.
  std::string rawCommandLine;
  std::string workDir;                // empty: the caller's
  std::vector<std::string> setEnv;    // NAME=VALUE, replaces any NAME
  std::vector<std::string> unsetEnv;  // NAME, any case
  bool hidden = false;                // SW_HIDE in the startup info
  // Children of the program leave the job silently and outlive it (for a
  // detached clean-up process). The program itself is still killed.
  bool keepChildren = false;
  // When set: the program runs in this job instead of one of its own, and
  // so does all it starts. Killing the program then ends the program only;
  // its children live until the job is closed.
  const Job* job = nullptr;
};

// Owns a started process and the kill-on-close job it runs in. Destroying it
// (or Kill) ends whatever of it still runs and waits until it is gone, so
// that files it held are free again.
class Process {
 public:
  Process() = default;
  ~Process() { Kill(); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;

  HANDLE Handle() const { return process_; }
  DWORD Id() const { return id_; }
  bool Started() const { return process_ != nullptr; }
  bool Running() const;
  bool InJob() const { return job_ != nullptr; }
  void Kill();

 private:
  friend bool Start(Process& process, const StartOptions& options);
  HANDLE process_ = nullptr;
  HANDLE job_ = nullptr;  // its own job; null in a caller's
  DWORD id_ = 0;
};

// Starts the program; `process` must not own one yet. False, with nothing
// left running, when the command line is too long or CreateProcess fails.
bool Start(Process& process, const StartOptions& options);

// Ends when the process has exited (true, `*exitCode` set if not null) or
// after timeoutMs (false, `*exitCode` untouched).
bool WaitForExit(const Process& process, DWORD timeoutMs, DWORD* exitCode);

// Quotes one argument the way the C runtime splits command lines.
std::string QuoteArgument(const std::string& arg);

// The environment block a child gets: `current` (a double-NUL-terminated
// block) with the overrides applied, sorted by name without regard to case
// as Windows requires, double-NUL-terminated. Exposed for tests.
std::wstring BuildEnvironment(const wchar_t* current, const std::vector<std::string>& setEnv,
                              const std::vector<std::string>& unsetEnv);

// Visible top-level dialogs (class "#32770") of the process, topmost first.
std::vector<HWND> Dialogs(const Process& process);
// The same for every process that runs in the job.
std::vector<HWND> Dialogs(const Job& job);

// The dialog a user would answer now: the topmost visible, enabled dialog
// (a modal message box disables its owner), else the topmost visible one.
// Polls every kPollMs; nullptr on time-out or once the process has ended.
HWND WaitForDialog(const Process& process, DWORD timeoutMs);
// The same, for a dialog whose caption is exactly `caption`.
HWND WaitForDialog(const Process& process, const std::string& caption, DWORD timeoutMs);
// True once the window is destroyed or hidden.
bool WaitForClosed(HWND window, DWORD timeoutMs);

std::string WindowText(HWND window);  // "" if none or unreadable
std::string ClassName(HWND window);
std::vector<HWND> Items(HWND dialog);  // direct children, in order
bool HasItem(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
bool ItemVisible(HWND dialog, int id);
std::string ItemText(HWND dialog, int id);
int CheckState(HWND dialog, int id);  // BST_*, or -1 if no such item

// The text a message box shows (its static 0xFFFF, else its first text
// static).
std::string MessageBoxText(HWND box);

enum class Icon { None, Error, Question, Warning, Information, Unknown };
const char* IconName(Icon icon);
// Which standard icon the message box shows. Compares icon handles first
// (system icons are shared between processes on Windows); Wine gives each
// process its own copies, so then the icon as drawn on the screen is
// compared with each standard icon. Unknown when neither matches (e.g. the
// box is covered by another window).
Icon MessageBoxIcon(HWND box);

// Clicks a button as a user would: false if the dialog has no such button
// or it is hidden or disabled. Does not wait for the click to be handled.
bool Press(HWND dialog, int id);
// What the close box does (WM_CLOSE: IDCANCEL in a dialog). Wine answers
// IDCANCEL even for a Yes/No or OK-only message box, where Windows ignores
// it or answers IDOK.
bool Close(HWND dialog);

}  // namespace driver
