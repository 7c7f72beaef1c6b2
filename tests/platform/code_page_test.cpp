#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

// Conversions to code page 850 (western OEM) and 1252 (western ANSI) as the
// NT family makes them, and as a system that refuses WC_NO_BEST_FIT_CHARS
// makes them: the same texts, the same verdicts.
TEST(CodePageTest, WideToCodePageGivesTheSameVerdictWithOrWithoutTheNoBestFitFlag) {
  struct Row {
    unsigned codePage;
    const wchar_t* wide;
    std::size_t capacity;
    bool converted;
    bool lossy;
    const char* narrow;  // when converted and not lossy
  };
  const Row rows[] = {
      {850, L"C:\\Games!\\M\u00FCller", 64, true, false, "C:\\Games!\\M\x81ller"},
      {1252, L"C:\\Games!\\M\u00FCller", 64, true, false, "C:\\Games!\\M\xFCller"},
      // No form of its own: a best-fit 'A' would name another file.
      {850, L"C:\\\u0100", 64, true, true, nullptr},
      {1252, L"C:\\\u0100", 64, true, true, nullptr},
      {850, L"C:\\\u0E01", 64, true, true, nullptr},
      {850, L"", 64, true, false, ""},
      // Too long for the buffer, terminator included.
      {850, L"abcd", 4, false, false, ""},
      {850, L"abcd", 5, true, false, "abcd"},
      {850, L"abcd", 0, false, false, nullptr},
  };
  for (bool rejected : {false, true}) {
    SCOPED_TRACE(rejected ? "flag refused" : "flag taken");
    SetNoBestFitRejectedForTest(rejected);
    for (const Row& row : rows) {
      SCOPED_TRACE(std::to_string(row.codePage) + " " + std::to_string(row.capacity) + " " +
                   std::to_string(std::wcslen(row.wide)));
      char narrow[64];
      std::memset(narrow, 0xBD, sizeof narrow);
      bool lossy = true;
      EXPECT_EQ(row.converted,
                WideToCodePage(row.codePage, row.wide, narrow, row.capacity, &lossy));
      EXPECT_EQ(row.lossy, lossy);
      if (row.narrow != nullptr) {
        EXPECT_EQ(std::string(row.narrow), std::string(narrow));
      }
      if (row.capacity == 0) {
        EXPECT_EQ('\xBD', narrow[0]);
      }
    }
  }
  SetNoBestFitRejectedForTest(false);
}

// In code page 936 the ANSI and OEM code pages are one: bytes stay as they
// are, and a text too long for the buffer is refused, not cut.
TEST(CodePageTest, ConvertToOemKeepsTheBytesWhereBothCodePagesAreOne) {
  ASSERT_EQ(GetACP(), GetOEMCP());
  for (bool rejected : {false, true}) {
    SCOPED_TRACE(rejected ? "flag refused" : "flag taken");
    SetNoBestFitRejectedForTest(rejected);
    char oem[8];
    std::memset(oem, 0xBD, sizeof oem);
    EXPECT_TRUE(ConvertToOem("C:\\\xBA\xBA", oem, sizeof oem));
    EXPECT_STREQ("C:\\\xBA\xBA", oem);
    std::memset(oem, 0xBD, sizeof oem);
    EXPECT_FALSE(ConvertToOem("C:\\abcdefgh", oem, sizeof oem));
    EXPECT_STREQ("", oem);
  }
  SetNoBestFitRejectedForTest(false);
}

}  // namespace
