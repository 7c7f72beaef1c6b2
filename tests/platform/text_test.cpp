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
