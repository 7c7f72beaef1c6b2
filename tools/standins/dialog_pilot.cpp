// A helper for the screenshot script: finds a dialog of any process by the
// controls it holds and prints where it is on the screen, or presses one of
// its buttons. Console program; prints to standard output.
//
//   dialogpilot find ID [NOT_ID] [SECONDS]   prints "x y width height"
//   dialogpilot press ID BUTTON_ID           the dialog that holds ID
//
// Exit code 0 when found (and pressed), 1 when not, 2 for a bad command.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kDefaultSeconds = 20;
constexpr int kClassSize = 64;

struct Search {
  int id;
  int notId;  // 0: none
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM parameter) {
  Search& search = *reinterpret_cast<Search*>(parameter);
  char className[kClassSize] = {};
  GetClassNameA(window, className, kClassSize);
  if (std::strcmp(className, "#32770") != 0) return TRUE;
  // The dialog a user would see now: shown, and not disabled by a dialog
  // it owns.
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  if (!GetDlgItem(window, search.id)) return TRUE;
  if (search.notId != 0 && GetDlgItem(window, search.notId)) return TRUE;
  search.found = window;
  return FALSE;
}

HWND WaitFor(int id, int notId, DWORD seconds) {
  Search search{id, notId, nullptr};
  DWORD until = GetTickCount() + seconds * 1000;
  do {
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(kPollMs);
  } while (GetTickCount() < until);
  return nullptr;
}

bool Number(const char* text, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  long id = 0, other = 0, seconds = kDefaultSeconds;
  if (argc >= 3 && std::strcmp(argv[1], "find") == 0 && Number(argv[2], id) &&
      (argc < 4 || Number(argv[3], other)) && (argc < 5 || Number(argv[4], seconds)) &&
      argc <= 5 && seconds > 0) {
    HWND dialog = WaitFor(static_cast<int>(id), static_cast<int>(other),
                          static_cast<DWORD>(seconds));
    RECT rect;
    if (!dialog || !GetWindowRect(dialog, &rect)) return 1;
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "press") == 0 && Number(argv[2], id) &&
      Number(argv[3], other)) {
    HWND dialog = WaitFor(static_cast<int>(id), 0, kDefaultSeconds);
    HWND button = dialog ? GetDlgItem(dialog, static_cast<int>(other)) : nullptr;
    if (!button) return 1;
    return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
  }
  std::fputs("usage: dialogpilot find ID [NOT_ID] [SECONDS] | press ID BUTTON_ID\n", stderr);
  return 2;
}
