// The bytes of the language file: marker, escapes, index, keys, lookup.
#include "localization/language_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/localization_support.h"
#include "support/test_support.h"

namespace {

// A file in memory, read as the loader reads the file object.
class MemoryReader {
 public:
  explicit MemoryReader(std::string bytes) : bytes_(std::move(bytes)) {}
  std::int64_t Tell() const { return position_; }
  int Read(char* buffer, int count) {
    if (position_ >= static_cast<std::int64_t>(bytes_.size())) return 0;
    int available = static_cast<int>(bytes_.size() - position_);
    int n = std::min(count, available);
    bytes_.copy(buffer, n, position_);
    position_ += n;
    ++reads_;
    return n;
  }
  bool Seek(std::int64_t position) {
    position_ = position;
    return true;
  }
  int Reads() const { return reads_; }

 private:
  std::string bytes_;
  std::int64_t position_ = 0;
  int reads_ = 0;
};

// The unescaped, indexed and sorted text of a region, as the loader makes it.
struct LoadedText {
  explicit LoadedText(const std::string& region) : bytes(region.begin(), region.end()) {
    bytes.push_back('\0');
    length = UnescapeLanguageText(bytes.data(), static_cast<int>(region.size()));
    EXPECT_TRUE(IndexLanguageLines(bytes.data(), length, offsets));
    SortLanguageLines(bytes.data(), offsets);
  }
  // The entry's text, or "<none>".
  std::string Find(const char* key) const {
    LanguageEntry entry;
    if (!FindLanguageEntry(bytes.data(), offsets, key, &entry)) return "<none>";
    EXPECT_GE(entry.text, bytes.data());
    EXPECT_LE(entry.text + entry.length, bytes.data() + length);
    return std::string(entry.text, entry.length);
  }
  std::vector<char> bytes;
  int length = 0;
  LineOffsets offsets;
};

TEST(Crc32Test, StandardCheckValues) {
  EXPECT_EQ(0xCBF43926u, Crc32("123456789", 9));
  EXPECT_EQ(0u, Crc32("", 0));
  EXPECT_EQ(0xE8B7BE43u, Crc32("a", 1));
  std::string zeros(4096, '\0');
  EXPECT_EQ(0xC71C0011u, Crc32(zeros.data(), zeros.size()));
  // A running checksum over pieces equals the checksum of the whole.
  std::uint32_t running = Crc32Update(kCrc32Start, "1234", 4);
  EXPECT_EQ(0xCBF43926u, ~Crc32Update(running, "56789", 5));
}

TEST(LanguageKeyTest, KeysOfTheKnownTextsInCodePage936) {
  struct Row {
    char kind;
    const char* context;
    const char* source;
    const char* key;
  };
  const Row rows[] = {
      {'s', nullptr, "\xD0\xB6\xD4\xD8\xD2\xD1\xBE\xAD\xCD\xEA\xB3\xC9", "f614af86"},  // 5105
      {'s', nullptr, "\xC4\xE3\xD3\xA6\xB8\xC3\xCA\xD6\xB6\xAF\xC9\xBE\xB3\xFD %s", "3b590d53"},
      {'s', nullptr, "\xD0\xB6\xD4\xD8 Korvik", "76f0cc56"},  // 5104
      {'$', "DONEDLG", "\xCD\xEA\xB3\xC9", "31e0ff52"},
      {'$', "SETUPDLG", "", "9b889d24"},
      {'$', "DONEDLG", "", "debae517"},
      {'$', "CONTEXTITEMS", "", "e70335f9"},
      {'$', "LTR", "LTR", "50a17ae8"},
      {'s', "", "\xD0\xB6\xD4\xD8\xD2\xD1\xBE\xAD\xCD\xEA\xB3\xC9", "f614af86"},  // empty context
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    char key[kKeySize + 4];
    std::fill(std::begin(key), std::end(key), test::kGarbage);
    MakeLanguageKey(row.kind, row.context, row.source, *reinterpret_cast<char(*)[kKeySize]>(key));
    EXPECT_STREQ(row.key, key);
    EXPECT_EQ(test::kGarbage, key[kKeySize]);
  }
}

TEST(MarkerTest, FoundOnlyWhereSixteenBytesOfTheBlockRemain) {
  const std::string marker = "***messages***";
  struct Row {
    std::string block;
    int expected;
  };
  const Row rows[] = {
      {marker + std::string(2, 'x'), 0},
      {"ab" + marker + std::string(20, 'x'), 2},
      {std::string(84, 'x') + marker + "xx", 84},   // at count - 16
      {std::string(85, 'x') + marker + "x", -1},    // at count - 15
      {"***messages**?" + std::string(2, 'x'), 0},  // the 14th byte is not looked at
      {"***messages*" + std::string(8, 'x'), -1},   // 12 characters only
      {"**messages***" + std::string(8, 'x'), -1},  // two asterisks before the word
      {"***MESSAGES***" + std::string(8, 'x'), -1},
      {"*" + marker + std::string(4, 'x'), 1},  // four asterisks
      {marker, -1},                             // fewer than 16 bytes
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.block);
    EXPECT_EQ(row.expected,
              FindMarkerInBlock(row.block.data(), static_cast<int>(row.block.size())));
  }
}

TEST(MarkerTest, SearchOfOverlappingBlocksReachesByte523264) {
  const std::string marker = "***messages***\r\n";
  struct Row {
    std::size_t at;
    std::size_t fileSize;
    std::int64_t expected;
  };
  const Row rows[] = {
      {0, 100, 0},
      {8176, 20000, 8176},  // first byte of the second block's new bytes
      {8180, 20000, 8180},  // across the first block's end
      {8190, 20000, 8190},
      {16000, 20000, 16000},
      {523264, 600000, 523264},  // the last offset the 64th block tests
      {523265, 600000, -1},
      {550000, 600000, -1},
      {19984, 20000, 19984},  // 16 bytes before the end
      {19985, 20001, 19985},
      {19986, 20000, -1},  // 14 bytes before the end
      {0, 15, -1},         // a file shorter than 16 bytes
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.at);
    std::string file(row.fileSize, 'x');
    file.replace(row.at, std::min(marker.size(), row.fileSize - row.at), marker, 0,
                 std::min(marker.size(), row.fileSize - row.at));
    MemoryReader reader(file);
    std::int64_t found = -7;
    bool hit = FindLanguageMarker(reader, &found);
    EXPECT_EQ(row.expected >= 0, hit);
    if (hit) {
      EXPECT_EQ(row.expected, found);
    }
    EXPECT_LE(reader.Reads(), kMarkerBlockCount);
  }
}

TEST(RegionTest, ReadsAtMost65536BytesFromTheMarker) {
  std::string file = std::string(100, 'x') + std::string(70000, 'y');
  MemoryReader reader(file);
  int rawLength = -1;
  char* text = ReadLanguageRegion(reader, 100, &rawLength);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(kLanguageRegionSize, rawLength);
  EXPECT_EQ(std::string(kLanguageRegionSize, 'y'), std::string(text));
  FreeLanguageText(text);

  MemoryReader shortFile(std::string(100, 'x') + "abc");
  text = ReadLanguageRegion(shortFile, 100, &rawLength);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(3, rawLength);
  EXPECT_STREQ("abc", text);
  FreeLanguageText(text);
}

TEST(RegionTest, NoBufferWhenTheAllocationFails) {
  test::ScopedReallocationLimit limit(0);
  MemoryReader reader("***messages***\nabc");
  int rawLength = -1;
  EXPECT_EQ(nullptr, ReadLanguageRegion(reader, 0, &rawLength));
  EXPECT_EQ(0, rawLength);
}

TEST(UnescapeTest, EscapesAndLineEnds) {
  struct Row {
    std::string raw;
    int rawLength;
    std::string expected;
  };
  const Row rows[] = {
      {"a\\\"b", -1, "a\"b"},
      {"a\\\\b", -1, "a\\b"},
      {"a\\nb", -1, "a\nb"},  // part of the text, not a line end
      {"a\\rb", -1, "a\rb"},
      {"a\\tb", -1, "a\tb"},
      {"a\\xb", -1, "a\\xb"},    // other characters keep the backslash
      {"a\\\\nb", -1, "a\\nb"},  // an escaped backslash, then a plain n
      {"a\\\\\\nb", -1, "a\\\nb"},
      {"ab\\", -1, "ab\\"},  // a backslash as the last byte read
      {"ab\\n", 3, "ab\\"},  // ... even when the file goes on
      {"a\r\nb\nc\rd\fe", -1, "a\f\fb\fc\fd\fe"},
      {"a\\\r\nb", -1, "a\\\f\fb"},  // a backslash before a real line end
      {std::string("ab\0cd", 5), 5, "ab"},
      {std::string("a\\\0cd", 5), 5, "a\\"},
      {"abcdef", 4, "abcd"},
      {"", 0, ""},
      {"\\\"\\\"", -1, "\"\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.raw);
    int rawLength = row.rawLength >= 0 ? row.rawLength : static_cast<int>(row.raw.size());
    std::vector<char> buffer(row.raw.begin(), row.raw.end());
    buffer.push_back(test::kGarbage);
    buffer.push_back(test::kGarbage);
    int length = UnescapeLanguageText(buffer.data(), rawLength);
    ASSERT_EQ(static_cast<int>(row.expected.size()), length);
    EXPECT_EQ(row.expected, std::string(buffer.data(), length));
    EXPECT_EQ('\0', buffer[length]);
    EXPECT_EQ(test::kGarbage, buffer[row.raw.size() + 1]);
  }
}

// Double-byte characters whose second byte is a backslash: GBK 誠, Big5 功
// and 許, code page 932 表 and 能. The lead bytes are the system's for each
// code page; a single-byte code page reads every file as before.
TEST(UnescapeTest, SecondByteOfADoubleByteCharacterIsNoEscape) {
  struct Row {
    unsigned codePage;
    std::string raw;
    std::string expected;
  };
  const Row rows[] = {
      {936, "\xCD\xEA\xB3\xC9\xD5\x5C\"", "\xCD\xEA\xB3\xC9\xD5\x5C\""},  // 完成誠"
      {936, "\xD5\x5C\\n\xCF\xC2", "\xD5\x5C\n\xCF\xC2"},  // 誠\n下: the escape still counts
      {936, "\xD5\x5Cn\xD5\x5C\r\n", "\xD5\x5Cn\xD5\x5C\f\f"},
      {950, "\xA5\x5Ct\xB3\x5C\\\\", "\xA5\x5Ct\xB3\x5C\\"},  // 功t許\\ ...
      {950, "\xB3\x5C\\\"", "\xB3\x5C\""},
      {932, "\x95\x5Cr\x94\x5C\"", "\x95\x5Cr\x94\x5C\""},  // 表r能"
      {932, "\xB1\x5Cn", "\xB1\n"},                         // a katakana byte of 932 leads nothing
      // A lone lead byte leaves a quote, a line end and the end alone.
      {936, "\xD5\"\xD5\r\nab\xD5", "\xD5\"\xD5\f\fab\xD5"},
      {936, std::string("\xD5\x5C\0n", 4), "\xD5\x5C"},
      {1252, "\xD5\x5Cn", "\xD5\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.codePage << " " << row.raw);
    LeadBytes leadBytes;
    ReadLeadBytes(row.codePage, leadBytes.lead);
    std::vector<char> buffer(row.raw.begin(), row.raw.end());
    buffer.insert(buffer.end(), 2, test::kGarbage);  // room for the terminator, then garbage
    int length = UnescapeLanguageText(buffer.data(), static_cast<int>(row.raw.size()), leadBytes);
    EXPECT_EQ(row.expected, std::string(buffer.data(), length));
    EXPECT_EQ('\0', buffer[length]);
    EXPECT_EQ(test::kGarbage, buffer[row.raw.size() + 1]);
  }
}

// Growth by a share of what is held: a language file's thousands of
// entries cost a few dozen reallocations, not one each.
TEST(ArrayTest, GrowsInFewStepsAndKeepsEveryValue) {
  constexpr int kCount = 20000;
  LineOffsets array;
  EXPECT_EQ(0, array.Capacity());
  int growths = 0;
  for (int i = 0; i < kCount; ++i) {
    int capacity = array.Capacity();
    ASSERT_TRUE(array.Append(i * 3));
    ASSERT_GE(array.Capacity(), array.Count());
    if (array.Capacity() != capacity) ++growths;
  }
  EXPECT_LE(growths, 40);
  ASSERT_EQ(kCount, array.Count());
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(i * 3, array[i]);
  array.Clear();
  EXPECT_EQ(0, array.Count());
  EXPECT_EQ(0, array.Capacity());
}

TEST(ArrayTest, FailedGrowthLeavesTheArrayAsItWas) {
  LineOffsets array;
  test::ScopedReallocationLimit limit(1);
  int count = 0;
  while (array.Append(count)) ++count;  // until a growth is refused
  EXPECT_GT(count, 0);
  EXPECT_EQ(count, array.Count());
  EXPECT_EQ(count, array.Capacity());
  for (int i = 0; i < count; ++i) EXPECT_EQ(i, array[i]);
}

TEST(IndexTest, LineStartsAfterTheFirstLineAndBeforeTheLastEightBytes) {
  struct Row {
    std::string text;  // already unescaped
    std::vector<int> expected;
  };
  const Row rows[] = {
      {"marker\f0123456789\f", {7}},
      {"marker\f\f\f0123456789", {9}},  // empty lines are skipped
      {"0123456789abcdef", {}},         // the marker's line never
      {"m\fline one\fline two", {2}},   // "line two": the last eight bytes
      {"m\f123456789", {2}},            // nine bytes from the end
      {"m\f12345678", {}},              // eight bytes: not indexed
      {"m\fa\fb\fc\fd\fe\ff\fg", {2, 4, 6}},
      {"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    LineOffsets offsets;
    ASSERT_TRUE(IndexLanguageLines(row.text.c_str(), static_cast<int>(row.text.size()), offsets));
    EXPECT_EQ(row.expected, std::vector<int>(offsets.begin(), offsets.end()));
  }
}

TEST(IndexTest, ReportsAnIndexThatCannotGrow) {
  std::string text = "m";
  for (int i = 0; i < 40; ++i) text += "\fline " + std::to_string(100 + i);
  LineOffsets offsets;
  test::ScopedReallocationLimit limit(1);
  EXPECT_FALSE(IndexLanguageLines(text.c_str(), static_cast<int>(text.size()), offsets));
  EXPECT_EQ(32, offsets.Count());
}

TEST(LookupTest, TheExampleFile) {
  const std::string region =
      "***messages***\r\n"
      "f614af86=\"Uninstall finished\"\r\n"
      "3b590d53=\"Please delete by hand:\\n%s\"\r\n"
      "c2989d97=\"Cannot open the list file\\t%s\"\r\n"
      "31e0ff52=\"&Finish\"\r\n"
      "9b889d24=\"125*110\"\r\n"
      "Lines that do not begin with a key are ignored.\r\n";
  LoadedText loaded(region);
  EXPECT_EQ(6, loaded.offsets.Count());
  EXPECT_EQ("Uninstall finished", loaded.Find("f614af86"));
  EXPECT_EQ("Please delete by hand:\n%s", loaded.Find("3b590d53"));
  EXPECT_EQ("Cannot open the list file\t%s", loaded.Find("c2989d97"));
  EXPECT_EQ("&Finish", loaded.Find("31e0ff52"));
  EXPECT_EQ("125*110", loaded.Find("9b889d24"));
  EXPECT_EQ("<none>", loaded.Find("76f0cc56"));
  EXPECT_EQ("<none>", loaded.Find("F614AF86"));
  EXPECT_EQ("<none>", loaded.Find("***messa"));  // the marker's line is no entry
  // The index is sorted by the lines' first eight bytes.
  for (int i = 1; i < loaded.offsets.Count(); ++i) {
    EXPECT_LT(std::string(loaded.bytes.data() + loaded.offsets[i - 1], 8),
              std::string(loaded.bytes.data() + loaded.offsets[i], 8));
  }
}

TEST(LookupTest, EntryTextRules) {
  struct Row {
    const char* name;
    std::string region;
    std::string expected;  // of key 0000000a
  };
  const std::string head = "***messages***\n";
  const std::string longText(300, 'L');
  const Row rows[] = {
      {"plain quote inside", head + "0000000a=\"Say \"hi\" now\"\n", "Say \"hi\" now"},
      {"escaped quote inside", head + "0000000a=\"Say \\\"hi\\\" now\"\n", "Say \"hi\" now"},
      {"after the closing quote", head + "0000000a=\"text\" junk\n", "text"},
      {"no closing quote", head + "0000000a=\"open text\n0000000b=\"next\"\n", "open text"},
      {"no quote at all, last line", head + "0000000a=xtext", "text"},
      {"empty text", head + "0000000a=\"\"\n", ""},
      {"key and = only, then a line", head + "0000000a=\n0000000b=\"next\"\n", ""},
      {"key alone as last line", head + "0000000a=", ""},
      {"escaped line feed", head + "0000000a=\"one\\ntwo\"\n", "one\ntwo"},
      {"last line, no line break", head + "0000000a=\"end\"", "end"},
      {"last line cut to 255", head + "0000000a=\"" + longText + "\"", std::string(255, 'L')},
      {"last line, quote within 255",
       head + "0000000a=\"" + std::string(100, 'L') + "\" " + longText, std::string(100, 'L')},
      {"long line before another", head + "0000000a=\"" + longText + "\"\nzzzzzzzzz\n", longText},
      {"upper-case key", head + "0000000A=\"x\"\n", "<none>"},
      {"key not at the line start", head + " 0000000a=\"x\"\n", "<none>"},
      {"on the marker's line", "***messages*** 0000000a=\"x\"\n0000000b=\"y\"\n", "<none>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LoadedText loaded(row.region);
    EXPECT_EQ(row.expected, loaded.Find("0000000a"));
  }
}

TEST(LookupTest, CutAtTheLimitIsReported) {
  LoadedText cut("***messages***\n0000000a=\"" + std::string(300, 'L') + "\"");
  LanguageEntry entry;
  ASSERT_TRUE(FindLanguageEntry(cut.bytes.data(), cut.offsets, "0000000a", &entry));
  EXPECT_TRUE(entry.cutAtLimit);
  LoadedText whole("***messages***\n0000000a=\"" + std::string(300, 'L') + "\"\n");
  ASSERT_TRUE(FindLanguageEntry(whole.bytes.data(), whole.offsets, "0000000a", &entry));
  EXPECT_FALSE(entry.cutAtLimit);
  EXPECT_EQ(300, entry.length);
}

TEST(LookupTest, EveryKeyOfALargeFileIsFoundByTheBinarySearch) {
  std::string region = "***messages***\r\n";
  std::vector<std::string> keys;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    char key[kKeySize];
    MakeLanguageKey('s', nullptr, std::to_string(i).c_str(), key);
    keys.push_back(key);
    region += std::string(key) + "=\"text " + std::to_string(i) + "\"\r\n";
  }
  ASSERT_LT(region.size(), static_cast<std::size_t>(kLanguageRegionSize));
  LoadedText loaded(region);
  ASSERT_EQ(2000, loaded.offsets.Count());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ("text " + std::to_string(i), loaded.Find(keys[i].c_str())) << keys[i];
  }
  for (std::uint32_t i = 2000; i < 2100; ++i) {
    char key[kKeySize];
    MakeLanguageKey('s', nullptr, std::to_string(i).c_str(), key);
    EXPECT_EQ("<none>", loaded.Find(key));
  }
}

TEST(LookupTest, NothingIsFoundInAnEmptyText) {
  LoadedText loaded("");
  EXPECT_EQ("<none>", loaded.Find("00000000"));
}

}  // namespace
