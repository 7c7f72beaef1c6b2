// The two icons as the system draws them from the program's resources.
// DELICON is the archive box with a cross in its lower right part, ORVICON
// the box alone, stored in fewer colours: where the cross does not reach,
// both must give the same pixels.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "canvas.h"

namespace {

// Draws the icon's image of that size over a background, as a dialog
// caption or the shell would; the pixels come back as 0x00RRGGBB, top row
// first.
std::vector<DWORD> Render(const char* name, int size, COLORREF background) {
  std::vector<DWORD> pixels;
  HICON icon = static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (!icon) return pixels;
  driver::Canvas canvas(size, size);
  if (canvas.Ok()) {
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, size, size};
    FillRect(canvas.Dc(), &all, brush);
    DrawIconEx(canvas.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) pixels.push_back(canvas.Pixel(x, y));
    }
    DeleteObject(brush);
  }
  DestroyIcon(icon);
  return pixels;
}

TEST(IconsTest, DialogIconDrawsAsTheProgramIconWithoutItsCross) {
  const COLORREF kBackgrounds[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
  for (int size : {16, 32, 48}) {
    for (COLORREF background : kBackgrounds) {
      SCOPED_TRACE(testing::Message() << size << " pixels over " << std::hex << background);
      std::vector<DWORD> dialog = Render("ORVICON", size, background);
      std::vector<DWORD> program = Render("DELICON", size, background);
      ASSERT_EQ(static_cast<std::size_t>(size * size), dialog.size());
      ASSERT_EQ(dialog.size(), program.size());
      DWORD backgroundPixel =
          GetRValue(background) << 16 | GetGValue(background) << 8 | GetBValue(background);
      EXPECT_EQ(backgroundPixel, dialog[0]) << "the corner is clear";
      // The cross, soft edges included, stays right of and below 44 %.
      int untouched = size * 2 / 5;
      int drawn = 0;
      int differing = 0;
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          if (x >= untouched && y >= untouched) continue;
          int i = y * size + x;
          if (program[i] != dialog[i]) ++differing;
          if (dialog[i] != backgroundPixel) ++drawn;
        }
      }
      EXPECT_EQ(0, differing) << "pixels that differ";
      EXPECT_GT(drawn, size * size / 4) << "too little of the box was drawn";
    }
  }
}

}  // namespace
