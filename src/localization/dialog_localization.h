// Dialog localization: the scale entry's text and the scaled measures.
// Windows-free, so that the translator's tool checks scale entries the way
// the program reads them. The operations on dialogs are members of
// LanguageResources (language_file.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// A dialog text (caption or control) read for translation.
constexpr std::size_t kDialogTextSize = 1024;
// A dialog's scale entry.
constexpr std::size_t kDialogScaleSize = 512;
// Children beyond this many keep their template texts and positions.
constexpr int kMaxLocalizedChildren = 512;
constexpr int kFullScale = 100;  // percent
// Below half its size a dialog's controls overlap and its texts are cut
// ("125*11" left SETUPDLG a strip 40 pixels high); above four times it no
// longer fits a screen.
constexpr int kMinScale = 50;
constexpr int kMaxScale = 400;
constexpr char kScaleSeparator = '*';
// The class of the controls whose dropped-down list needs room as well.
constexpr char kComboBoxClass[] = "COMBOBOX";

// A decimal number as atoi reads it (blanks, a sign, digits up to the first
// other character; none gives 0), held within the int range instead of
// overflowing.
inline int ReadScaleNumber(const char* text) {
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

// "125*110": the width and height numbers as written, a missing one read as
// 0. False, with both 100, when the text holds no asterisk.
inline bool ParseScaleEntry(const char* text, int* widthNumber, int* heightNumber) {
  const char* star = std::strchr(text, kScaleSeparator);
  if (!star) {
    *widthNumber = kFullScale;
    *heightNumber = kFullScale;
    return false;
  }
  *widthNumber = ReadScaleNumber(text);
  *heightNumber = ReadScaleNumber(star + 1);
  return true;
}

// A missing, zero or negative percentage would shrink the dialog to its
// frame: it counts as 100. Any other is held within kMinScale to kMaxScale.
inline int UsableScalePercent(int number) {
  if (number <= 0) return kFullScale;
  if (number < kMinScale) return kMinScale;
  return number > kMaxScale ? kMaxScale : number;
}

// The percentages a dialog is sized by: those of ParseScaleEntry, each
// made usable. False when the text holds no asterisk.
inline bool ParseDialogScale(const char* text, int* widthPercent, int* heightPercent) {
  bool found = ParseScaleEntry(text, widthPercent, heightPercent);
  *widthPercent = UsableScalePercent(*widthPercent);
  *heightPercent = UsableScalePercent(*heightPercent);
  return found;
}

// value * percent / 100, truncated toward zero. The product is taken in 64
// bits and the result held within the int range: a translator's "99999*1"
// must not overflow.
inline int ScaleMeasure(int value, int percent) {
  long long scaled = static_cast<long long>(value) * percent / kFullScale;
  if (scaled > INT32_MAX) return INT32_MAX;
  if (scaled < INT32_MIN) return INT32_MIN;
  return static_cast<int>(scaled);
}
