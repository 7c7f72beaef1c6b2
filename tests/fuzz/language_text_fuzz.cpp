// libFuzzer target for the bytes of the language file, built natively with
// AddressSanitizer and UndefinedBehaviorSanitizer (tests/fuzz/run_fuzz.sh).
//
// The input is the file. An input that begins with 'P' stands for a file of
// (input[1] * 256 + input[2]) * 10 filler bytes followed by the rest, so
// that markers far into the file are reached without large inputs.
//
// Each stage is checked against a plain reference written here, and every
// lookup must stay inside its own line of the text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "localization/language_text.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "language text fuzz: %s\n", what);
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// A file of filler bytes, then the input, read as the loader reads a file.
class VirtualFile {
 public:
  VirtualFile(std::size_t filler, const std::uint8_t* data, std::size_t size)
      : filler_(filler), data_(data), size_(size) {}
  std::int64_t Size() const { return static_cast<std::int64_t>(filler_ + size_); }
  std::size_t Filler() const { return filler_; }
  char At(std::int64_t position) const {
    return position < static_cast<std::int64_t>(filler_)
               ? 'x'
               : static_cast<char>(data_[position - filler_]);
  }
  std::int64_t Tell() const { return position_; }
  bool Seek(std::int64_t position) {
    position_ = position;
    return true;
  }
  int Read(char* buffer, int count) {
    int n = 0;
    while (n < count && position_ < Size()) {
      std::int64_t wanted = count - n;
      if (position_ < static_cast<std::int64_t>(filler_)) {
        std::int64_t run = std::min<std::int64_t>(wanted, filler_ - position_);
        std::memset(buffer + n, 'x', run);
        n += static_cast<int>(run);
        position_ += run;
      } else {
        std::int64_t run = std::min<std::int64_t>(wanted, Size() - position_);
        std::memcpy(buffer + n, data_ + (position_ - filler_), run);
        n += static_cast<int>(run);
        position_ += run;
      }
    }
    return n;
  }

 private:
  std::size_t filler_;
  const std::uint8_t* data_;
  std::size_t size_;
  std::int64_t position_ = 0;
};

// The first marker at a position the 64 overlapping blocks test.
std::int64_t ReferenceMarker(const VirtualFile& file) {
  std::int64_t last = file.Size() - kMarkerBlockOverlap;
  std::int64_t limit =
      static_cast<std::int64_t>(kMarkerBlockCount) * (kMarkerBlockSize - kMarkerBlockOverlap);
  if (last > limit) last = limit;
  // The filler holds no asterisk, so no marker starts in it.
  for (std::int64_t p = static_cast<std::int64_t>(file.Filler()); p <= last; ++p) {
    int i = 0;
    while (i < kLanguageMarkerLength && file.At(p + i) == kLanguageMarker[i]) ++i;
    if (i == kLanguageMarkerLength) return p;
  }
  return -1;
}

std::string ReferenceUnescape(const std::string& raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size() && raw[i] != '\0'; ++i) {
    char c = raw[i];
    if (c == '\\' && i + 1 < raw.size()) {
      const char* escapes = "\"\\nrt";
      const char* values = "\"\\\n\r\t";
      const char* hit = raw[i + 1] != '\0' ? std::strchr(escapes, raw[i + 1]) : nullptr;
      if (hit) {
        out += values[hit - escapes];
        ++i;
        continue;
      }
    }
    out += (c == '\r' || c == '\n') ? kLineSeparator : c;
  }
  return out;
}

std::vector<int> ReferenceIndex(const std::string& text) {
  std::vector<int> offsets;
  for (std::size_t k = 1; k + kKeyLength < text.size(); ++k) {
    if (text[k - 1] == kLineSeparator && text[k] != kLineSeparator)
      offsets.push_back(static_cast<int>(k));
  }
  return offsets;
}

// Whether some indexed line begins with the eight bytes of key.
bool ReferenceHasKey(const char* text, const std::vector<int>& offsets, const char* key) {
  for (int k : offsets) {
    if (std::strncmp(text + k, key, kKeyLength) == 0) return true;
  }
  return false;
}

void CheckEntry(const char* text, int length, const char* key, const LanguageEntry& entry) {
  const char* end = text + length;
  Check(entry.text >= text && entry.length >= 0 && entry.text + entry.length <= end,
        "entry outside the text");
  // The line the entry belongs to: back from the entry to its line start.
  const char* line = entry.text;
  while (line > text && line[-1] != kLineSeparator) --line;
  Check(std::strncmp(line, key, kKeyLength) == 0, "entry not on a line of its key");
  Check(entry.text == line + kEntryTextOffset || entry.length == 0, "entry text misplaced");
  for (int i = 0; i < entry.length; ++i) {
    Check(entry.text[i] != kLineSeparator && entry.text[i] != '\0', "entry crosses its line");
  }
  const char* lineEnd = entry.text + entry.length;
  while (lineEnd < end && *lineEnd != kLineSeparator) ++lineEnd;
  if (lineEnd == end) Check(entry.length <= kLastLineEntryLimit, "last line entry over 255");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t filler = 0;
  if (size >= 3 && data[0] == 'P') {
    filler = (static_cast<std::size_t>(data[1]) * 256 + data[2]) * 10;
    data += 3;
    size -= 3;
  }
  VirtualFile file(filler, data, size);

  std::int64_t marker = -1;
  bool found = FindLanguageMarker(file, &marker);
  std::int64_t expected = ReferenceMarker(file);
  Check(found == (expected >= 0), "marker found or missed wrongly");
  if (!found) return 0;
  Check(marker == expected, "marker at the wrong position");

  int rawLength = -1;
  char* region = ReadLanguageRegion(file, marker, &rawLength);
  Check(region != nullptr, "no region buffer");
  std::int64_t available = file.Size() - marker;
  Check(rawLength == (available < kLanguageRegionSize ? available : kLanguageRegionSize),
        "region of the wrong length");
  std::string raw(region, rawLength);
  FreeLanguageText(region);

  // An exactly sized copy, so that a read past the text's terminator shows.
  char* text = static_cast<char*>(std::malloc(raw.size() + 1));
  std::memcpy(text, raw.data(), raw.size());
  text[raw.size()] = '\x7F';
  int length = UnescapeLanguageText(text, static_cast<int>(raw.size()));
  std::string unescaped = ReferenceUnescape(raw);
  Check(length == static_cast<int>(unescaped.size()) && text[length] == '\0' &&
            std::memcmp(text, unescaped.data(), length) == 0,
        "unescaped text differs");

  // Read in a double-byte code page (GBK's lead bytes), the text stays
  // within its buffer, and one without lead bytes reads as above.
  LeadBytes gbk;
  for (int b = 0x81; b <= 0xFE; ++b) gbk.lead[b] = true;
  char* wide = static_cast<char*>(std::malloc(raw.size() + 1));
  std::memcpy(wide, raw.data(), raw.size());
  wide[raw.size()] = '\x7F';
  int wideLength = UnescapeLanguageText(wide, static_cast<int>(raw.size()), gbk);
  Check(wideLength <= static_cast<int>(raw.size()) && wide[wideLength] == '\0',
        "double-byte text not terminated in its buffer");
  bool anyLead = std::any_of(raw.begin(), raw.end(), [&](char c) { return gbk.IsLead(c); });
  Check(anyLead || (wideLength == length && std::memcmp(wide, text, length) == 0),
        "a text without lead bytes reads differently");
  std::free(wide);

  LineOffsets offsets;
  Check(IndexLanguageLines(text, length, offsets), "index did not grow");
  std::vector<int> reference = ReferenceIndex(unescaped);
  Check(std::vector<int>(offsets.begin(), offsets.end()) == reference, "index differs");
  SortLanguageLines(text, offsets);
  for (int i = 1; i < offsets.Count(); ++i) {
    Check(std::strncmp(text + offsets[i - 1], text + offsets[i], kKeyLength) <= 0, "not sorted");
  }

  // Every line's own first eight bytes are found, and stay in a line.
  for (int i = 0; i < offsets.Count(); ++i) {
    char key[kKeySize];
    std::memcpy(key, text + offsets[i], kKeyLength);
    key[kKeyLength] = '\0';
    if (std::strlen(key) != kKeyLength) continue;
    LanguageEntry entry;
    Check(FindLanguageEntry(text, offsets, key, &entry), "an indexed line not found");
    CheckEntry(text, length, key, entry);
  }
  // Keys of texts taken from the input are found exactly when a line has them.
  for (std::size_t start = 0; start < size && start < 64; start += 7) {
    std::string source(reinterpret_cast<const char*>(data) + start,
                       size - start < 16 ? size - start : 16);
    char key[kKeySize];
    MakeLanguageKey('s', nullptr, source.c_str(), key);
    LanguageEntry entry;
    bool hit = FindLanguageEntry(text, offsets, key, &entry);
    Check(hit == ReferenceHasKey(text, reference, key), "key lookup disagrees");
    if (hit) CheckEntry(text, length, key, entry);
  }
  std::free(text);
  return 0;
}
