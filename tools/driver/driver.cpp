// The driver only ever runs on current systems (or Wine); the program's own
// build may ask for an old Windows version, which would hide the job API.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601

#include "driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

#include "canvas.h"

namespace driver {
namespace {

constexpr char kDialogClass[] = "#32770";
constexpr std::size_t kMaxItems = 1024;  // guards a child list that changes
constexpr DWORD kIconSettleMs = 1500;    // a new box may not be painted yet
constexpr int kMaxIconSide = 256;
constexpr int kPixelTolerance = 24;   // summed channel difference
constexpr int kMismatchDivisor = 50;  // up to 2% of the pixels may differ
constexpr WORD kMessageBoxTextId = 0xFFFF;
constexpr DWORD kMaxJobProcesses = 64;

bool EqualsAsciiNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char ca = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
    char cb = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
    if (ca != cb) return false;
  }
  return *a == *b;
}

bool HasClass(HWND window, const char* name) {
  char cls[kMaxClassName];
  int got = GetClassNameA(window, cls, int(kMaxClassName));
  if (got <= 0) return false;
  cls[kMaxClassName - 1] = '\0';
  return EqualsAsciiNoCase(cls, name);
}

bool IsIconStatic(HWND window) {
  LONG style = GetWindowLongA(window, GWL_STYLE);
  return HasClass(window, "Static") && (style & SS_TYPEMASK) == SS_ICON;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &out[0], n);
  return out;
}

// The name of a NAME=VALUE entry. Search from the second character: the
// hidden per-drive entries look like "=C:=C:\dir".
std::size_t NameLength(const std::wstring& entry) {
  std::size_t eq = entry.find(L'=', 1);
  return eq == std::wstring::npos ? entry.size() : eq;
}

std::wstring UpperName(const std::wstring& entry) {
  std::wstring name = entry.substr(0, NameLength(entry));
  if (!name.empty()) CharUpperBuffW(&name[0], DWORD(name.size()));
  return name;
}

// Windows wants the block sorted by name, case-insensitive, by code unit.
bool NameLess(const std::wstring& a, const std::wstring& b) { return UpperName(a) < UpperName(b); }

void RemoveName(std::vector<std::wstring>& entries, const std::wstring& upper) {
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const std::wstring& e) { return UpperName(e) == upper; }),
                entries.end());
}

HANDLE CreateKillOnCloseJob(bool keepChildren) {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (keepChildren) limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Termination is asynchronous; files are only free once all are gone.
bool WaitUntilJobEmpty(HANDLE job, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                   nullptr))
      return false;
    if (info.ActiveProcesses == 0) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

struct Collect {
  std::vector<DWORD> pids;
  std::vector<HWND>* out;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  Collect* c = reinterpret_cast<Collect*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  bool ours = std::find(c->pids.begin(), c->pids.end(), pid) != c->pids.end();
  if (ours && IsWindowVisible(window) && HasClass(window, kDialogClass)) c->out->push_back(window);
  return TRUE;
}

HWND Pick(const std::vector<HWND>& dialogs, const std::string* caption) {
  HWND fallback = nullptr;
  for (HWND d : dialogs) {
    if (caption && WindowText(d) != *caption) continue;
    if (IsWindowEnabled(d)) return d;
    if (!fallback) fallback = d;
  }
  return fallback;
}

HWND WaitFor(const Process& process, const std::string* caption, DWORD timeoutMs) {
  if (!process.Started()) return nullptr;
  DWORD start = GetTickCount();
  for (;;) {
    HWND found = Pick(Dialogs(process), caption);
    if (found) return found;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return nullptr;
    DWORD slice = std::min<DWORD>(kPollMs, timeoutMs - elapsed);
    if (WaitForSingleObject(process.Handle(), slice) != WAIT_TIMEOUT) return nullptr;
  }
}

int PixelDistance(DWORD a, DWORD b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
  return d;
}

struct StandardIcon {
  Icon kind;
  LPCSTR resource;
};
const StandardIcon kStandardIcons[] = {
    {Icon::Error, IDI_ERROR},
    {Icon::Question, IDI_QUESTION},
    {Icon::Warning, IDI_WARNING},
    {Icon::Information, IDI_INFORMATION},
};

// Draws each standard icon on the background the box shows around its icon
// and looks for the one that matches the screen.
Icon MatchOnScreen(HWND iconStatic) {
  RECT rc;
  POINT origin = {0, 0};
  if (!GetClientRect(iconStatic, &rc) || !ClientToScreen(iconStatic, &origin)) return Icon::Unknown;
  int w = rc.right, h = rc.bottom;
  if (w <= 0 || h <= 0 || w > kMaxIconSide || h > kMaxIconSide) return Icon::Unknown;

  Canvas shot(w, h), drawn(w, h);
  if (!shot.Ok() || !drawn.Ok()) return Icon::Unknown;
  HDC screen = GetDC(nullptr);
  if (!screen) return Icon::Unknown;
  BOOL copied = BitBlt(shot.Dc(), 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
  ReleaseDC(nullptr, screen);
  if (!copied) return Icon::Unknown;
  GdiFlush();

  int allowed = w * h / kMismatchDivisor;
  Icon best = Icon::Unknown;
  int matches = 0;
  for (const StandardIcon& s : kStandardIcons) {
    drawn.Fill(shot.Pixel(0, 0));
    if (!DrawIconEx(drawn.Dc(), 0, 0, LoadIconA(nullptr, s.resource), 0, 0, 0, nullptr, DI_NORMAL))
      continue;
    GdiFlush();
    int mismatched = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (PixelDistance(shot.Pixel(x, y), drawn.Pixel(x, y)) > kPixelTolerance) ++mismatched;
    if (mismatched <= allowed) {
      best = s.kind;
      ++matches;
    }
  }
  return matches == 1 ? best : Icon::Unknown;
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the last component of a path has a dot; character by character,
// as a trail byte may equal '\\'.
bool HasExtension(const std::string& path) {
  bool dot = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByte(c))
      ++i;
    else if (c == '\\' || c == '/')
      dot = false;
    else if (c == '.')
      dot = true;
  }
  return dot;
}

// Windows' own reading of an unquoted command with blanks: the shortest
// prefix ending before a blank that names a file (".exe" added when the name
// has none). Done here because Wine, when it searches itself, puts quotes
// around the path in the command line the program receives.
std::string ApplicationFor(const std::string& commandLine) {
  if (commandLine.empty() || commandLine[0] == '"') return std::string();
  for (std::size_t end = 0;; ++end) {
    end = commandLine.find_first_of(" \t", end);
    std::string candidate = commandLine.substr(0, end);
    if (!HasExtension(candidate)) candidate += ".exe";
    if (IsFile(candidate)) return candidate;
    if (end == std::string::npos) return std::string();
  }
}

bool CommandLineFor(const StartOptions& options, std::string& out) {
  if (!options.rawCommandLine.empty()) {
    out = options.rawCommandLine;
  } else {
    if (options.exe.empty()) return false;
    out = QuoteArgument(options.exe);
    if (!options.args.empty()) out += ' ' + options.args;
  }
  return out.size() < kMaxCommandLine;
}

}  // namespace

// --- Job ---------------------------------------------------------------

Job::Job() : job_(CreateKillOnCloseJob(false)) {}

std::vector<DWORD> Job::ProcessIds() const {
  std::vector<DWORD> ids;
  if (!job_) return ids;
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST head;
    ULONG_PTR more[kMaxJobProcesses];
  } list = {};
  if (!QueryInformationJobObject(job_, JobObjectBasicProcessIdList, &list, sizeof list, nullptr))
    return ids;
  DWORD count = std::min<DWORD>(list.head.NumberOfProcessIdsInList, kMaxJobProcesses);
  for (DWORD i = 0; i < count; ++i) ids.push_back(DWORD(list.head.ProcessIdList[i]));
  return ids;
}

bool Job::WaitUntilEmpty(DWORD timeoutMs) const {
  return job_ && WaitUntilJobEmpty(job_, timeoutMs);
}

void Job::Close() {
  if (!job_) return;
  TerminateJobObject(job_, kKilledExitCode);
  WaitUntilJobEmpty(job_, kKillWaitMs);
  CloseHandle(job_);
  job_ = nullptr;
}

// --- Process -----------------------------------------------------------

Process::Process(Process&& other) noexcept
    : process_(other.process_), job_(other.job_), id_(other.id_) {
  other.process_ = nullptr;
  other.job_ = nullptr;
  other.id_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Kill();
    std::swap(process_, other.process_);
    std::swap(job_, other.job_);
    std::swap(id_, other.id_);
  }
  return *this;
}

bool Process::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
  // The job also takes the program's children; closing it alone would do
  // that too, but only terminating explicitly lets us wait for the end.
  if (job_) {
    TerminateJobObject(job_, kKilledExitCode);
    WaitUntilJobEmpty(job_, kKillWaitMs);
    CloseHandle(job_);
    job_ = nullptr;
  }
  if (process_) {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, kKilledExitCode);
      WaitForSingleObject(process_, kKillWaitMs);
    }
    CloseHandle(process_);
    process_ = nullptr;
    id_ = 0;
  }
}

bool Start(Process& process, const StartOptions& options) {
  if (process.Started()) return false;
  std::string commandLine;
  if (!CommandLineFor(options, commandLine)) return false;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');

  DWORD flags = CREATE_SUSPENDED;  // into the job before it can start a child
  std::wstring environment;
  if (!options.setEnv.empty() || !options.unsetEnv.empty()) {
    wchar_t* current = GetEnvironmentStringsW();
    if (!current) return false;
    environment = BuildEnvironment(current, options.setEnv, options.unsetEnv);
    FreeEnvironmentStringsW(current);
    flags |= CREATE_UNICODE_ENVIRONMENT;
  }

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (options.hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  std::string application;
  if (!options.rawCommandLine.empty())
    application = options.exe.empty() ? ApplicationFor(options.rawCommandLine) : options.exe;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), writable.data(), nullptr,
                      nullptr, FALSE, flags, environment.empty() ? nullptr : &environment[0],
                      options.workDir.empty() ? nullptr : options.workDir.c_str(), &startup, &info))
    return false;

  // Without a job (none allowed here) the destructor still ends the
  // program itself, just not its children.
  HANDLE job = nullptr;
  if (options.job) {
    AssignProcessToJobObject(options.job->Handle(), info.hProcess);
  } else {
    job = CreateKillOnCloseJob(options.keepChildren);
    if (job && !AssignProcessToJobObject(job, info.hProcess)) {
      CloseHandle(job);
      job = nullptr;
    }
  }
  process.process_ = info.hProcess;
  process.job_ = job;
  process.id_ = info.dwProcessId;
  DWORD resumed = ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  if (resumed == DWORD(-1)) {
    process.Kill();
    return false;
  }
  return true;
}

bool WaitForExit(const Process& process, DWORD timeoutMs, DWORD* exitCode) {
  if (!process.Started()) return false;
  if (WaitForSingleObject(process.Handle(), timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  if (!GetExitCodeProcess(process.Handle(), &code)) return false;
  if (exitCode) *exitCode = code;
  return true;
}

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (std::size_t i = 0; i < arg.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(arg[i]);
    // A trail byte may equal '\\' in a double-byte code page: copy the
    // whole character so it is not taken for a backslash.
    if (IsDBCSLeadByte(c) && i + 1 < arg.size()) {
      out.append(arg, i, 2);
      ++i;
      backslashes = 0;
    } else if (c == '\\') {
      out += '\\';
      ++backslashes;
    } else if (c == '"') {
      out.append(backslashes + 1, '\\');
      out += '"';
      backslashes = 0;
    } else {
      out += char(c);
      backslashes = 0;
    }
  }
  out.append(backslashes, '\\');  // so the closing quote stays a quote
  out += '"';
  return out;
}

std::wstring BuildEnvironment(const wchar_t* current, const std::vector<std::string>& setEnv,
                              const std::vector<std::string>& unsetEnv) {
  std::vector<std::wstring> entries;
  for (const wchar_t* p = current; p && *p; p += std::wcslen(p) + 1) entries.emplace_back(p);
  for (const std::string& name : unsetEnv) {
    std::wstring upper = UpperName(Widen(name));
    if (!upper.empty()) RemoveName(entries, upper);
  }
  for (const std::string& assignment : setEnv) {
    std::wstring entry = Widen(assignment);
    if (entry.empty()) continue;
    if (NameLength(entry) == entry.size()) entry += L'=';
    RemoveName(entries, UpperName(entry));
    entries.push_back(entry);
  }
  std::stable_sort(entries.begin(), entries.end(), NameLess);

  std::wstring block;
  for (const std::wstring& e : entries) {
    block += e;
    block += L'\0';
  }
  if (block.empty()) block += L'\0';  // an empty block is still two NULs
  block += L'\0';
  return block;
}

// --- Windows -------------------------------------------------------------

std::vector<HWND> Dialogs(const Process& process) {
  std::vector<HWND> found;
  if (!process.Started()) return found;
  Collect c = {{process.Id()}, &found};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&c));
  return found;
}

std::vector<HWND> Dialogs(const Job& job) {
  std::vector<HWND> found;
  Collect c = {job.ProcessIds(), &found};
  if (!c.pids.empty()) EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&c));
  return found;
}

HWND WaitForDialog(const Process& process, DWORD timeoutMs) {
  return WaitFor(process, nullptr, timeoutMs);
}

HWND WaitForDialog(const Process& process, const std::string& caption, DWORD timeoutMs) {
  return WaitFor(process, &caption, timeoutMs);
}

bool WaitForClosed(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

std::string WindowText(HWND window) {
  if (!window) return std::string();
  char text[kMaxWindowText];
  std::memset(text, 0, sizeof text);
  DWORD_PTR copied = 0;
  // WM_GETTEXT, not GetWindowText: for another process's window the latter
  // returns the creation title, not what an edit control holds now.
  if (SendMessageTimeoutA(window, WM_GETTEXT, kMaxWindowText, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
    text[std::min<DWORD_PTR>(copied, kMaxWindowText - 1)] = '\0';
  } else {
    int got = GetWindowTextA(window, text, int(kMaxWindowText));
    text[got > 0 ? std::min<std::size_t>(std::size_t(got), kMaxWindowText - 1) : 0] = '\0';
  }
  return std::string(text);
}

std::string ClassName(HWND window) {
  char cls[kMaxClassName];
  int got = GetClassNameA(window, cls, int(kMaxClassName));
  if (got <= 0) return std::string();
  cls[std::min<std::size_t>(std::size_t(got), kMaxClassName - 1)] = '\0';
  return std::string(cls);
}

std::vector<HWND> Items(HWND dialog) {
  std::vector<HWND> items;
  for (HWND child = GetWindow(dialog, GW_CHILD); child && items.size() < kMaxItems;
       child = GetWindow(child, GW_HWNDNEXT))
    items.push_back(child);
  return items;
}

bool HasItem(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

bool ItemEnabled(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowEnabled(item);
}

bool ItemVisible(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowVisible(item);
}

std::string ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item ? WindowText(item) : std::string();
}

int CheckState(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  DWORD_PTR state = 0;
  if (!item ||
      !SendMessageTimeoutA(item, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &state))
    return -1;
  return int(state);
}

std::string MessageBoxText(HWND box) {
  HWND first = nullptr;
  for (HWND item : Items(box)) {
    if (!HasClass(item, "Static") || IsIconStatic(item)) continue;
    if (LOWORD(GetDlgCtrlID(item)) == kMessageBoxTextId) return WindowText(item);
    if (!first && !WindowText(item).empty()) first = item;
  }
  return WindowText(first);
}

const char* IconName(Icon icon) {
  switch (icon) {
    case Icon::None:
      return "none";
    case Icon::Error:
      return "error";
    case Icon::Question:
      return "question";
    case Icon::Warning:
      return "warning";
    case Icon::Information:
      return "information";
    case Icon::Unknown:
      break;
  }
  return "unknown";
}

Icon MessageBoxIcon(HWND box) {
  HWND iconStatic = nullptr;
  for (HWND item : Items(box))
    if (IsIconStatic(item)) {
      iconStatic = item;
      break;
    }
  // Wine keeps a hidden icon static in a box without an icon.
  if (!iconStatic || !IsWindowVisible(iconStatic)) return Icon::None;
  DWORD_PTR shown = 0;
  if (!SendMessageTimeoutA(iconStatic, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                           &shown))
    return Icon::Unknown;
  if (!shown) return Icon::None;
  for (const StandardIcon& s : kStandardIcons)
    if (reinterpret_cast<HICON>(shown) == LoadIconA(nullptr, s.resource)) return s.kind;

  DWORD start = GetTickCount();
  for (;;) {
    Icon seen = MatchOnScreen(iconStatic);
    if (seen != Icon::Unknown || GetTickCount() - start >= kIconSettleMs) return seen;
    Sleep(kPollMs);
  }
}

bool Press(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  // A user cannot click a hidden or disabled button, nor one in a dialog
  // disabled by a modal box on top of it.
  if (!button || !HasClass(button, "Button") || !IsWindowVisible(button) ||
      !IsWindowEnabled(button) || !IsWindowEnabled(dialog))
    return false;
  // Posted, not sent: the click may open a modal box, and a sent message
  // would only return once someone answered it.
  return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool Close(HWND dialog) {
  return IsWindow(dialog) && PostMessageA(dialog, WM_CLOSE, 0, 0) != FALSE;
}

}  // namespace driver
