#include "platform/stream.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr char kFolder[] = "C:\\KorvikTests\\stream";
constexpr std::size_t kGuard = 16;  // bytes past the capacity that must stay untouched

class StreamTest : public testing::Test {
 protected:
  void SetUp() override {
    test::RemoveTree(kFolder);
    test::MakeFolders(kFolder);
  }
  void TearDown() override { test::RemoveTree(kFolder); }

  static std::string Path(const char* name) { return std::string(kFolder) + "\\" + name; }
};

struct Read {
  LineRead kind;
  std::string line;
};

// Every line of the file, read with the given capacity into a buffer
// filled with garbage, whose bytes past the capacity are checked.
std::vector<Read> ReadAll(const std::string& path, std::size_t capacity) {
  std::vector<Read> reads;
  ByteStream stream;
  EXPECT_TRUE(stream.OpenRead(path.c_str()));
  std::vector<char> buffer(capacity + kGuard);
  for (;;) {
    std::memset(buffer.data(), 0xBD, buffer.size());
    LineRead kind = stream.ReadLine(buffer.data(), capacity);
    for (std::size_t i = capacity; i < buffer.size(); ++i) {
      EXPECT_EQ(static_cast<char>(0xBD), buffer[i]) << "written past the capacity";
    }
    if (kind == LineRead::End) {
      EXPECT_EQ('\0', buffer[0]);
      break;
    }
    reads.push_back({kind, buffer.data()});
  }
  return reads;
}

bool operator==(const Read& a, const Read& b) { return a.kind == b.kind && a.line == b.line; }

std::ostream& operator<<(std::ostream& out, const Read& read) {
  const char* kinds[] = {"Line", "TooLong", "HoldsZero", "End"};
  return out << kinds[static_cast<int>(read.kind)] << " \"" << read.line << "\"";
}

TEST_F(StreamTest, LinesAreTakenWholeOrNotAtAll) {
  constexpr std::size_t kCapacity = 8;  // seven bytes and the terminator
  struct Row {
    const char* name;
    std::string contents;
    std::vector<Read> expected;
  };
  const Row rows[] = {
      {"empty file", "", {}},
      {"short lines, the last without LF",
       "ab\n\ncd\r\nlast",
       {{LineRead::Line, "ab\n"},
        {LineRead::Line, "\n"},
        {LineRead::Line, "cd\r\n"},
        {LineRead::Line, "last"}}},
      {"six bytes and LF fill the buffer",
       "123456\nx\n",
       {{LineRead::Line, "123456\n"}, {LineRead::Line, "x\n"}}},
      {"seven bytes fit, their LF does not",
       "1234567\nx\n",
       {{LineRead::Line, "1234567"}, {LineRead::Line, "x\n"}}},
      {"seven bytes at the end of the file", "1234567", {{LineRead::Line, "1234567"}}},
      {"eight bytes are too long, and skipped to their LF",
       "12345678\nx\n",
       {{LineRead::TooLong, ""}, {LineRead::Line, "x\n"}}},
      {"eight bytes at the end of the file",
       "x\n12345678",
       {{LineRead::Line, "x\n"}, {LineRead::TooLong, ""}}},
      {"a zero byte",
       std::string("ab\0cd\nx\n", 8),
       {{LineRead::HoldsZero, ""}, {LineRead::Line, "x\n"}}},
      {"a zero byte at the end of the file",
       std::string("x\n\0", 3),
       {{LineRead::Line, "x\n"}, {LineRead::HoldsZero, ""}}},
      {"a long line with a zero byte is too long",
       std::string("12345\0"
                   "789\nx",
                   11),
       {{LineRead::TooLong, ""}, {LineRead::Line, "x"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(test::WriteWholeFile(Path("list.txt"), row.contents));
    EXPECT_EQ(row.expected, ReadAll(Path("list.txt"), kCapacity));
  }
}

TEST_F(StreamTest, LinesAcrossTheReadAheadAreWhole) {
  // Longer than any read-ahead block, at every phase of the blocks.
  std::string contents;
  std::vector<Read> expected;
  for (int i = 0; i < 3000; ++i) {
    std::string line = std::to_string(i) + std::string(i % 37, 'x');
    contents += line + "\r\n";
    expected.push_back({LineRead::Line, line + "\r\n"});
  }
  contents += std::string(100000, 'y') + "\n" + "after";
  expected.push_back({LineRead::TooLong, ""});
  expected.push_back({LineRead::Line, "after"});
  ASSERT_TRUE(test::WriteWholeFile(Path("list.txt"), contents));
  EXPECT_EQ(expected, ReadAll(Path("list.txt"), 2048));
}

TEST_F(StreamTest, RewindReadsFromTheStartAgain) {
  ASSERT_TRUE(test::WriteWholeFile(Path("list.txt"), "one\ntwo\n"));
  ByteStream stream;
  ASSERT_TRUE(stream.OpenRead(Path("list.txt").c_str()));
  char line[64];
  for (int pass = 0; pass < 3; ++pass) {
    SCOPED_TRACE(pass);
    std::memset(line, 0xBD, sizeof line);
    EXPECT_EQ(LineRead::Line, stream.ReadLine(line, sizeof line));
    EXPECT_STREQ("one\n", line);
    if (pass > 0) {
      EXPECT_EQ(LineRead::Line, stream.ReadLine(line, sizeof line));
      EXPECT_EQ(LineRead::End, stream.ReadLine(line, sizeof line));
    }
    stream.Rewind();
  }
}

TEST_F(StreamTest, StreamThatIsNotOpenHasNoLines) {
  ByteStream stream;
  char line[16];
  std::memset(line, 0xBD, sizeof line);
  EXPECT_EQ(LineRead::End, stream.ReadLine(line, sizeof line));
  EXPECT_EQ('\0', line[0]);
  EXPECT_FALSE(stream.OpenRead(Path("no such file").c_str()));
  EXPECT_EQ(LineRead::End, stream.ReadLine(line, sizeof line));
  EXPECT_FALSE(stream.Write("x", 1));
}

TEST_F(StreamTest, WholeFileHoldsExactlyTheBytesOrIsNotLeftBehind) {
  const std::string bytes("a\r\n\0b", 5);
  EXPECT_TRUE(WriteWholeFile(Path("whole.bin").c_str(), bytes.data(), bytes.size()));
  EXPECT_EQ(bytes, test::ReadWholeFile(Path("whole.bin")));
  // Replaced, not appended to.
  EXPECT_TRUE(WriteWholeFile(Path("whole.bin").c_str(), "c", 1));
  EXPECT_EQ("c", test::ReadWholeFile(Path("whole.bin")));
  std::string missing = std::string(kFolder) + "\\no such folder\\whole.bin";
  EXPECT_FALSE(WriteWholeFile(missing.c_str(), "c", 1));
  EXPECT_FALSE(test::Exists(missing));
}

}  // namespace
