#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TextTest, CopyAppendAndFormatReportWhetherTheTextFitted) {
  char buffer[8];
  std::memset(buffer, 0xBD, sizeof buffer);
  EXPECT_TRUE(CopyText(buffer, "1234567"));
  EXPECT_STREQ("1234567", buffer);
  EXPECT_FALSE(CopyText(buffer, "123456789"));
  EXPECT_STREQ("1234567", buffer);

  EXPECT_TRUE(CopyText(buffer, "abc"));
  EXPECT_TRUE(AppendText(buffer, "defg"));
  EXPECT_FALSE(AppendText(buffer, "h"));
  EXPECT_STREQ("abcdefg", buffer);

  EXPECT_TRUE(FormatText(buffer, sizeof buffer, "%s-%d", "ab", 42));
  EXPECT_STREQ("ab-42", buffer);
  EXPECT_FALSE(FormatText(buffer, sizeof buffer, "%s", "0123456789"));
  EXPECT_STREQ("0123456", buffer);
}

TEST(TextTest, NeverWritesPastTheCapacity) {
  char buffer[16];
  std::memset(buffer, 0xBD, sizeof buffer);
  EXPECT_FALSE(CopyText(buffer, 4, "abcdef"));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ(static_cast<char>(0xBD), buffer[4]);
  EXPECT_FALSE(FormatText(buffer, 4, "%s", "abcdef"));
  EXPECT_EQ(static_cast<char>(0xBD), buffer[4]);
  EXPECT_FALSE(CopyText(buffer, 0, "x"));
  EXPECT_EQ('a', buffer[0]);
}

// One call of FormatText for each shape of format the program uses.
struct FormatCase {
  const char* what;
  std::size_t capacity;
  bool (*format)(char* dst, std::size_t capacity);
  const char* expected;
  bool fitted;
};

const FormatCase kFormatCases[] = {
    {"text and number", 16,
     [](char* d, std::size_t c) { return FormatText(d, c, "%s-%d", "ab", 42); }, "ab-42", true},
    {"negative number", 16,
     [](char* d, std::size_t c) { return FormatText(d, c, "%s,%d", "x", -3); }, "x,-3", true},
    {"two digits", 16, [](char* d, std::size_t c) { return FormatText(d, c, ".o%02d", 7); }, ".o07",
     true},
    {"percent sign", 16,
     [](char* d, std::size_t c) { return FormatText(d, c, "\"%s\" \"%%1\"", "k.exe"); },
     "\"k.exe\" \"%1\"", true},
    {"counted text", 16,
     [](char* d, std::size_t c) { return FormatText(d, c, "%.*s", 3, "abcdef"); }, "abc", true},
    {"a % inside an argument stays", 16,
     [](char* d, std::size_t c) { return FormatText(d, c, "%s.%d.tmp", "a%d", 9); }, "a%d.9.tmp",
     true},
    {"exact fit", 6, [](char* d, std::size_t c) { return FormatText(d, c, "%s", "abcde"); },
     "abcde", true},
    {"one too long", 6, [](char* d, std::size_t c) { return FormatText(d, c, "%s", "abcdef"); },
     "abcde", false},
    {"number cut", 4, [](char* d, std::size_t c) { return FormatText(d, c, "%d", 12345); }, "123",
     false},
    {"room for the terminator only", 1,
     [](char* d, std::size_t c) { return FormatText(d, c, "%s", "a"); }, "", false},
    {"empty text in no room", 1, [](char* d, std::size_t c) { return FormatText(d, c, "%s", ""); },
     "", true},
    // Code page 936: "\xD0\xB6" and "\xD4\xD8" are one character each.
    {"double-byte character at the limit", 4,
     [](char* d, std::size_t c) { return FormatText(d, c, "%s", "ab\xD0\xB6"); }, "ab", false},
    {"double-byte character that fits", 5,
     [](char* d, std::size_t c) { return FormatText(d, c, "x%s", "a\xD0\xB6\xD4\xD8"); },
     "xa\xD0\xB6", false},
};

TEST(TextTest, FormatIsBoundedTerminatedAndCutAtCharacters) {
  for (const FormatCase& row : kFormatCases) {
    SCOPED_TRACE(row.what);
    char buffer[32];
    std::memset(buffer, 0xBD, sizeof buffer);
    EXPECT_EQ(row.fitted, row.format(buffer, row.capacity));
    EXPECT_STREQ(row.expected, buffer);
    EXPECT_EQ(static_cast<char>(0xBD), buffer[row.capacity]) << "written past the capacity";
  }
}

TEST(TextTest, AppendRepairsAnUnterminatedBuffer) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(AppendText(buffer, "e"));
  EXPECT_STREQ("abc", buffer);
}

TEST(TextTest, CutsNeverSplitADoubleByteCharacter) {
  // Code page 936: "\xD0\xB6" is one character.
  char buffer[4];
  EXPECT_FALSE(CopyText(buffer, "a\xD0\xB6\xD4\xD8"));
  EXPECT_STREQ("a\xD0\xB6", buffer);
  EXPECT_FALSE(CopyText(buffer, "ab\xD0\xB6"));
  EXPECT_STREQ("ab", buffer);
  EXPECT_FALSE(FormatText(buffer, sizeof buffer, "%s", "ab\xD0\xB6"));
  EXPECT_STREQ("ab", buffer);
}

TEST(TextTest, BoundedLengthStopsAtTheCapacity) {
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(3u, BoundedLength(unterminated, 3));
  EXPECT_EQ(1u, BoundedLength("x", 3));
}

}  // namespace
