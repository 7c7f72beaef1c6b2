#include "localization/dialog_localization.h"

#include <windows.h>

#include <cstring>

#include "localization/language_file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr char kDialogKind = '$';
constexpr UINT kResizeFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER;
constexpr UINT kPlaceFlags = SWP_NOZORDER | SWP_NOOWNERZORDER;
constexpr LONG kComboTypeMask = 3;

struct Scale {
  int width = kFullScale;
  int height = kFullScale;
  bool applies = false;
};

// Frame measures, each with the one extra pixel of the inclusive window
// rectangle; a child's client position is its screen position less these.
struct Frame {
  RECT window;
  int width;
  int height;
};

// Replaces the window's text by its translation. A text without one is left
// as the window holds it: read back through the ANSI code page, a text the
// code page cannot show would come back as question marks, and one longer
// than the buffer would come back cut.
void TranslateWindowText(const LanguageResources& language, HWND window, const char* dialogName) {
  char text[kDialogTextSize];
  GetWindowTextA(window, text, static_cast<int>(sizeof text));
  if (text[0] == '\0') return;
  char translated[kDialogTextSize];
  language.Translate(kDialogKind, dialogName, text, translated, sizeof translated);
  if (std::strcmp(text, translated) != 0) SetWindowTextA(window, translated);
}

bool IsDropDownCombo(HWND child) {
  char className[kDialogTextSize];
  if (GetClassNameA(child, className, static_cast<int>(sizeof className)) == 0) return false;
  if (CompareNames(className, kComboBoxClass) != 0) return false;
  return (GetWindowLongA(child, GWL_STYLE) & kComboTypeMask) != CBS_SIMPLE;
}

void PlaceChild(HWND child, const Frame& frame, const Scale& scale) {
  RECT kr;
  GetWindowRect(child, &kr);
  int x = ScaleMeasure(kr.left - frame.window.left - frame.width / 2, scale.width);
  int y = ScaleMeasure(kr.top - frame.window.top - frame.height, scale.height);
  int width = ScaleMeasure(kr.right - kr.left + 1, scale.width);
  int height = ScaleMeasure(kr.bottom - kr.top + 1, scale.height);
  if (IsDropDownCombo(child)) {
    // The height of a drop-down combo box is that of its open list.
    RECT dropped{};
    SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    long long total = static_cast<long long>(height) +
                      ScaleMeasure(dropped.bottom - dropped.top + 1, scale.height);
    height = total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
  }
  SetWindowPos(child, nullptr, x, y, width, height, kPlaceFlags);
}

}  // namespace

bool LanguageResources::ReadDialogScale(const char* dialogName, int* widthPercent,
                                        int* heightPercent) const {
  char text[kDialogScaleSize];
  Translate(kDialogKind, dialogName, "", text, sizeof text);
  ParseDialogScale(text, widthPercent, heightPercent);
  return *widthPercent != kFullScale || *heightPercent != kFullScale;
}

void LanguageResources::LocalizeDialog(HWND dialog, const char* dialogName) const {
  Scale scale;
  scale.applies = ReadDialogScale(dialogName, &scale.width, &scale.height);

  Frame frame;
  RECT client;
  GetWindowRect(dialog, &frame.window);
  GetClientRect(dialog, &client);
  frame.width = (frame.window.right - frame.window.left + 1) - client.right;
  frame.height = (frame.window.bottom - frame.window.top + 1) - client.bottom;
  if (scale.applies) {
    SetWindowPos(dialog, nullptr, 0, 0, ScaleMeasure(client.right, scale.width) + frame.width,
                 ScaleMeasure(client.bottom, scale.height) + frame.height, kResizeFlags);
  }

  // An empty caption is not looked up: its key is that of the scale entry.
  TranslateWindowText(*this, dialog, dialogName);
  frame.height -= GetSystemMetrics(SM_CYDLGFRAME);

  HWND first = GetWindow(dialog, GW_CHILD);
  HWND child = first;
  for (int handled = 0; child != nullptr && handled < kMaxLocalizedChildren; ++handled) {
    TranslateWindowText(*this, child, dialogName);
    if (scale.applies) PlaceChild(child, frame, scale);
    child = GetWindow(child, GW_HWNDNEXT);
    if (child == first) break;
  }
}

void LanguageResources::ApplyDirection(HWND dialog) const {
  if (!rightToLeft) return;
  LONG style = GetWindowLongA(dialog, GWL_EXSTYLE);
  SetWindowLongA(dialog, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
}
