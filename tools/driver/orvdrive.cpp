// orvdrive: runs a program and answers its dialogs, for scripts and demos.
//
//   orvdrive run [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR]
//                [--answer ID]... [--timeout SECONDS] [--hidden]
//                [--keep-children] [--command-line TEXT] [-- EXE [ARGS...]]
//   orvdrive wait-file PATH [--gone] [--timeout SECONDS]
//
// Paths are Windows paths (under Wine: `winepath -w`, or relative ones).
// Prints UTF-8 (or to a console, UTF-16) whatever the ANSI code page is.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr DWORD kDefaultTimeoutS = 30;
constexpr DWORD kMaxTimeoutS = 24 * 60 * 60;
constexpr DWORD kSettleMs = 1000;  // for a pressed dialog to go or change
constexpr int kAnswerClose = -1;   // the close box / Esc instead of a button

struct AnswerName {
  const char* name;
  int id;
};
constexpr AnswerName kAnswerNames[] = {
    {"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
    {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO},       {"close", kAnswerClose},
};

const char kUsage[] =
    "usage:\n"
    "  orvdrive run [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR]\n"
    "               [--answer ID]... [--timeout SECONDS] [--hidden] [--keep-children]\n"
    "               [--command-line TEXT] [-- EXE [ARGS...]]\n"
    "      ID: a control id, or ok cancel abort retry ignore yes no close\n"
    "  orvdrive wait-file PATH [--gone] [--timeout SECONDS]\n";

// Texts come in the ANSI code page; the terminal wants UTF-8.
void Print(const std::string& text) {
  if (text.empty()) return;
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return;
  std::wstring wide(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0], n);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, wide.data(), DWORD(wide.size()), &written, nullptr);
    return;
  }
  int m =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  if (m <= 0) return;
  std::string utf8(std::size_t(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], m, nullptr, nullptr);
  WriteFile(out, utf8.data(), DWORD(utf8.size()), &written, nullptr);
}

std::string Number(long long value) { return std::to_string(value); }

bool ParseAnswer(const char* text, int& id) {
  for (const AnswerName& a : kAnswerNames)
    if (std::strcmp(text, a.name) == 0) {
      id = a.id;
      return true;
    }
  char* end = nullptr;
  long value = std::strtol(text, &end, 0);
  if (end == text || *end || value <= 0 || value > 0xFFFF) return false;
  id = int(value);
  return true;
}

bool ParseSeconds(const char* text, DWORD& seconds) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end || value == 0 || value > kMaxTimeoutS) return false;
  seconds = DWORD(value);
  return true;
}

// Continuation lines of a multi-line text are indented under the first.
std::string Indented(const std::string& text, std::size_t indent) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c;
    if (c == '\n') out.append(indent, ' ');
  }
  return out;
}

const char* ButtonKind(LONG style) {
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
      return "checkbox";
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return "radio";
    case BS_GROUPBOX:
      return "group";
  }
  return "button";
}

void Describe(HWND dialog, int number) {
  std::string out = "[dialog " + Number(number) + "] \"" + driver::WindowText(dialog) + "\"\n";
  out += std::string("  icon: ") + driver::IconName(driver::MessageBoxIcon(dialog)) + "\n";
  std::vector<HWND> items = driver::Items(dialog);
  // Texts first: a message box creates its buttons before its text.
  for (HWND item : items) {
    std::string text = driver::WindowText(item);
    if (IsWindowVisible(item) && lstrcmpiA(driver::ClassName(item).c_str(), "Static") == 0 &&
        !text.empty())
      out += "  text: " + Indented(text, 8) + "\n";
  }
  for (HWND item : items) {
    std::string cls = driver::ClassName(item);
    if (!IsWindowVisible(item) || lstrcmpiA(cls.c_str(), "Static") == 0) continue;
    std::string text = driver::WindowText(item);
    LONG style = GetWindowLongA(item, GWL_STYLE);
    int id = GetDlgCtrlID(item);
    std::string disabled = IsWindowEnabled(item) ? "" : " (disabled)";
    if (lstrcmpiA(cls.c_str(), "Button") == 0) {
      const char* kind = ButtonKind(style);
      std::string mark;
      if (std::strcmp(kind, "checkbox") == 0 || std::strcmp(kind, "radio") == 0)
        mark = driver::CheckState(dialog, id) == BST_CHECKED ? " [x]" : " [ ]";
      out += std::string("  ") + kind + " " + Number(id) + ": " + text + mark + disabled + "\n";
    } else {
      out += "  " + cls + " " + Number(id) + ": " + Indented(text, 4) + disabled + "\n";
    }
  }
  Print(out);
}

// After a press: true once the dialog has gone, been disabled by a new box,
// or another dialog of the process can be answered.
bool WaitForChange(const driver::Process& process, HWND pressed, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (!IsWindow(pressed) || !IsWindowVisible(pressed) || !IsWindowEnabled(pressed)) return true;
    if (!process.Running()) return true;
    for (HWND d : driver::Dialogs(process))
      if (d != pressed && IsWindowEnabled(d)) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(driver::kPollMs);
  }
}

bool Answer(HWND dialog, int id) {
  if (id == kAnswerClose) {
    Print("  answer: close\n");
    return driver::Close(dialog);
  }
  std::string label = driver::HasItem(dialog, id) ? " " + driver::ItemText(dialog, id) : "";
  Print("  answer: " + Number(id) + label + "\n");
  return driver::Press(dialog, id);
}

int Run(int argc, char** argv) {
  driver::StartOptions options;
  std::vector<int> answers;
  DWORD timeoutS = kDefaultTimeoutS;
  int i = 0;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--") {
      ++i;
      break;
    } else if (arg == "--hidden") {
      options.hidden = true;
    } else if (arg == "--keep-children") {
      options.keepChildren = true;
    } else if (!hasValue) {
      Print("missing value or unknown option: " + arg + "\n" + kUsage);
      return kExitUsage;
    } else if (arg == "--env") {
      options.setEnv.push_back(argv[++i]);
    } else if (arg == "--unset") {
      options.unsetEnv.push_back(argv[++i]);
    } else if (arg == "--cwd") {
      options.workDir = argv[++i];
    } else if (arg == "--command-line") {
      options.rawCommandLine = argv[++i];
    } else if (arg == "--answer") {
      int id = 0;
      if (!ParseAnswer(argv[++i], id)) {
        Print(std::string("bad answer: ") + argv[i] + "\n");
        return kExitUsage;
      }
      answers.push_back(id);
    } else if (arg == "--timeout") {
      if (!ParseSeconds(argv[++i], timeoutS)) {
        Print(std::string("bad timeout: ") + argv[i] + "\n");
        return kExitUsage;
      }
    } else {
      Print("unknown option: " + arg + "\n" + kUsage);
      return kExitUsage;
    }
  }
  if (i < argc) options.exe = argv[i++];
  for (; i < argc; ++i) {
    if (!options.args.empty()) options.args += ' ';
    options.args += driver::QuoteArgument(argv[i]);
  }
  if (options.exe.empty() && options.rawCommandLine.empty()) {
    Print(std::string("nothing to run\n") + kUsage);
    return kExitUsage;
  }

  driver::Process process;
  if (!driver::Start(process, options)) {
    Print(
        "cannot start: " + (options.rawCommandLine.empty() ? options.exe : options.rawCommandLine) +
        " (error " + Number(GetLastError()) + ")\n");
    return kExitFailed;
  }

  bool asPlanned = true;
  std::size_t next = 0;
  int shown = 0;
  DWORD start = GetTickCount();
  DWORD timeoutMs = timeoutS * 1000;
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) break;
    HWND dialog = driver::WaitForDialog(process, timeoutMs - elapsed);
    if (!dialog) break;
    Describe(dialog, ++shown);
    bool answered;
    if (next < answers.size()) {
      answered = Answer(dialog, answers[next++]);
    } else {
      Print("  unexpected: no answer left, closing it (Cancel)\n");
      asPlanned = false;
      answered = driver::Close(dialog);
    }
    if (!answered) {
      Print("  cannot answer: no such button, or it is hidden or disabled; closing it\n");
      asPlanned = false;
      driver::Close(dialog);
    }
    WaitForChange(process, dialog, kSettleMs);
  }

  DWORD exitCode = 0;
  if (!driver::WaitForExit(process, 0, &exitCode)) {
    Print("timed out after " + Number(timeoutS) + " s: killing the program\n");
    process.Kill();
    return kExitFailed;
  }
  if (next < answers.size()) {
    Print("unused answers: " + Number(static_cast<long long>(answers.size() - next)) + "\n");
    asPlanned = false;
  }
  Print("exit code: " + Number(exitCode) + "\n");
  return asPlanned ? kExitOk : kExitFailed;
}

int WaitFile(int argc, char** argv) {
  const char* path = nullptr;
  bool gone = false;
  DWORD timeoutS = kDefaultTimeoutS;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gone") == 0) {
      gone = true;
    } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      if (!ParseSeconds(argv[++i], timeoutS)) return kExitUsage;
    } else if (!path && argv[i][0] != '-') {
      path = argv[i];
    } else {
      Print(std::string("unexpected: ") + argv[i] + "\n" + kUsage);
      return kExitUsage;
    }
  }
  if (!path) {
    Print(kUsage);
    return kExitUsage;
  }
  DWORD start = GetTickCount();
  for (;;) {
    bool exists = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    if (exists != gone) {
      Print(std::string(gone ? "gone: " : "present: ") + path + "\n");
      return kExitOk;
    }
    if (GetTickCount() - start >= timeoutS * 1000) {
      Print(std::string("timed out waiting for ") + path + (gone ? " to go\n" : " to appear\n"));
      return kExitFailed;
    }
    Sleep(driver::kPollMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "run") == 0) return Run(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "wait-file") == 0) return WaitFile(argc - 2, argv + 2);
  Print(kUsage);
  return kExitUsage;
}
