#include "localization/language_text.h"

#include <algorithm>
#include <cstdlib>

namespace {

void* SystemReallocate(void* block, std::size_t size) { return std::realloc(block, size); }

struct Crc32Table {
  std::uint32_t entries[256];
};

constexpr Crc32Table MakeCrc32Table() {
  Crc32Table table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table.entries[i] = value;
  }
  return table;
}

constexpr Crc32Table kCrc32Table = MakeCrc32Table();

// The bounded compare of the first eight bytes, as unsigned bytes, stopping
// at a zero byte.
int CompareKey(const char* a, const char* b) { return std::strncmp(a, b, kKeyLength); }

char Unescaped(char c) {
  switch (c) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return '\0';
  }
}

}  // namespace

Reallocator languageReallocate = SystemReallocate;

std::uint32_t Crc32Update(std::uint32_t crc, const void* bytes, std::size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i)
    crc = kCrc32Table.entries[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t Crc32(const void* bytes, std::size_t count) {
  return ~Crc32Update(kCrc32Start, bytes, count);
}

void MakeLanguageKey(char kind, const char* context, const char* source, char (&key)[kKeySize]) {
  std::uint32_t crc = Crc32Update(kCrc32Start, &kind, 1);
  if (context) crc = Crc32Update(crc, context, std::strlen(context));
  crc = ~Crc32Update(crc, source, std::strlen(source));
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int i = kKeyLength - 1; i >= 0; --i, crc >>= 4) key[i] = kDigits[crc & 0xF];
  key[kKeyLength] = '\0';
}

int FindMarkerInBlock(const char* block, int count) {
  for (int i = 0; i <= count - kMarkerBlockOverlap; ++i) {
    if (block[i] == kLanguageMarker[0] &&
        std::memcmp(block + i, kLanguageMarker, kLanguageMarkerLength) == 0) {
      return i;
    }
  }
  return -1;
}

void FreeLanguageText(char* text) { std::free(text); }

int UnescapeLanguageText(char* text, int rawLength, const LeadBytes& leadBytes) {
  int out = 0;
  for (int in = 0; in < rawLength && text[in] != '\0'; ++in) {
    char c = text[in];
    if (StartsDoubleByte(text + in, static_cast<std::size_t>(rawLength - in), leadBytes)) {
      text[out++] = c;
      ++in;
      text[out++] = text[in];
      continue;
    }
    if (c == '\\' && in + 1 < rawLength) {
      char escaped = Unescaped(text[in + 1]);
      if (escaped != '\0') {
        text[out++] = escaped;  // an escaped CR or LF does not end the line
        ++in;
        continue;
      }
    }
    text[out++] = (c == '\r' || c == '\n') ? kLineSeparator : c;
  }
  text[out] = '\0';
  return out;
}

bool IndexLanguageLines(const char* text, int textLength, LineOffsets& lineOffsets) {
  for (int k = 1; k < textLength - kKeyLength; ++k) {
    if (text[k - 1] == kLineSeparator && text[k] != kLineSeparator) {
      if (!lineOffsets.Append(k)) return false;
    }
  }
  return true;
}

void SortLanguageLines(const char* text, LineOffsets& lineOffsets) {
  std::sort(lineOffsets.begin(), lineOffsets.end(),
            [text](int a, int b) { return CompareKey(text + a, text + b) < 0; });
}

bool FindLanguageEntry(const char* text, const LineOffsets& lineOffsets, const char* key,
                       LanguageEntry* entry) {
  const int* first = lineOffsets.begin();
  int n = lineOffsets.Count();
  const char* line = nullptr;
  while (n > 0) {
    const int* middle = first + n / 2;
    int order = CompareKey(key, text + *middle);
    if (order == 0) {
      line = text + *middle;
      break;
    }
    if (order < 0) {
      n = n / 2;
    } else {
      first = middle + 1;
      n = n - n / 2 - 1;
    }
  }
  if (!line) return false;

  // A line too short for "=" and the quote has an empty text rather than
  // one taken from the next line, or from beyond the text.
  const char* end = line;
  while (*end != kLineSeparator && *end != '\0') ++end;
  const char* start = std::min(line + kEntryTextOffset, end);
  bool lastLine = *end == '\0';
  entry->cutAtLimit = lastLine && end - start > kLastLineEntryLimit;
  if (entry->cutAtLimit) end = start + kLastLineEntryLimit;

  // The closing quote is the last one; a line without one runs to its end.
  for (const char* p = end; p > start; --p) {
    if (p[-1] == '"') {
      end = p - 1;
      entry->cutAtLimit = false;
      break;
    }
  }
  entry->text = start;
  entry->length = static_cast<int>(end - start);
  return true;
}
