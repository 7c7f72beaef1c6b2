// The bytes of the language file "uninstall.lng": the section marker, the
// escapes, the line index, the CRC-32 keys and the entry lookup. Nothing
// here needs the Windows headers, so that the same code can be fuzzed
// natively and shared with a translator's tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/array.h"

// The region read from the marker on, and the blocks the marker is looked
// for in: consecutive blocks overlap so that a marker across a block
// boundary is still seen.
constexpr int kLanguageRegionSize = 65536;
constexpr int kMarkerBlockSize = 8192;
constexpr int kMarkerBlockOverlap = 16;
constexpr int kMarkerBlockCount = 64;
// Two asterisks and the first eleven characters of "*messages***".
constexpr char kLanguageMarker[] = "***messages**";
constexpr int kLanguageMarkerLength = sizeof kLanguageMarker - 1;

// Every unescaped CR, LF or form feed ends a line; in the unescaped text
// they are all this byte.
constexpr char kLineSeparator = '\x0C';
// A key: the CRC-32 as eight lower-case hexadecimal digits.
constexpr int kKeyLength = 8;
constexpr std::size_t kKeySize = kKeyLength + 1;
// An entry's text starts after the key, "=" and the opening quote.
constexpr int kEntryTextOffset = kKeyLength + 2;
// An entry on the text's last line has no separator to end it.
constexpr int kLastLineEntryLimit = 255;

// The lead bytes of the double-byte code page a language file is written
// in (the system's ANSI code page); none for a single-byte code page. The
// byte after a lead byte is its character's trail byte, which in GBK, Big5
// and Shift-JIS is often a backslash (GBK "\xD5\x5C"), never an escape.
struct LeadBytes {
  bool lead[256] = {};
  bool IsLead(char c) const { return lead[static_cast<unsigned char>(c)]; }
};
inline constexpr LeadBytes kNoLeadBytes{};

// No double-byte code page has a trail byte below this, so a quote, a line
// end or the terminator after a lone lead byte keeps its meaning.
constexpr unsigned char kLowestTrailByte = 0x40;

// True when the first two of the available bytes make one double-byte
// character.
inline bool StartsDoubleByte(const char* bytes, std::size_t available, const LeadBytes& leadBytes) {
  return available >= 2 && leadBytes.IsLead(bytes[0]) &&
         static_cast<unsigned char>(bytes[1]) >= kLowestTrailByte;
}

// How the language text and its line index get and grow their memory:
// std::realloc, unless a test stands in one that fails. Memory is given
// back with std::free.
extern Reallocator languageReallocate;
using LineOffsets = Array<int, languageReallocate>;

// The CRC-32 of zlib: a running value starts at kCrc32Start and is
// complemented at the end.
constexpr std::uint32_t kCrc32Start = 0xFFFFFFFFu;
std::uint32_t Crc32Update(std::uint32_t crc, const void* bytes, std::size_t count);
std::uint32_t Crc32(const void* bytes, std::size_t count);

// The key of a text: CRC-32 over the kind, the context (may be null) and
// the source text, as "%08x".
void MakeLanguageKey(char kind, const char* context, const char* source, char (&key)[kKeySize]);

// Offset of the first marker that starts at an offset from 0 to count - 16
// of the block; -1 when there is none.
int FindMarkerInBlock(const char* block, int count);

// Looks for the marker in a file read through reader (the file object, or
// memory in tests): up to 64 overlapping blocks from where the reader
// stands. True, with *marker the position where it begins, when found.
// Reader has Tell, Read (count, or -1 on a failure) and Seek from the
// file's beginning.
template <typename Reader>
bool FindLanguageMarker(Reader& reader, std::int64_t* marker) {
  char block[kMarkerBlockSize];
  for (int blocks = 0; blocks < kMarkerBlockCount; ++blocks) {
    std::int64_t position = reader.Tell();
    int count = reader.Read(block, kMarkerBlockSize);
    if (count < kMarkerBlockOverlap) break;
    int hit = FindMarkerInBlock(block, count);
    if (hit >= 0) {
      *marker = position + hit;
      return true;
    }
    reader.Seek(position + count - kMarkerBlockOverlap);
  }
  return false;
}

// Reads the region that begins at the marker into a new buffer of
// kLanguageRegionSize + 1 bytes (null when it cannot be had; release it
// with FreeLanguageText). *rawLength is the count read, 0 when the read
// failed.
template <typename Reader>
char* ReadLanguageRegion(Reader& reader, std::int64_t marker, int* rawLength) {
  *rawLength = 0;
  reader.Seek(marker);
  char* text = static_cast<char*>(languageReallocate(nullptr, kLanguageRegionSize + 1));
  if (!text) return nullptr;
  int count = reader.Read(text, kLanguageRegionSize);
  if (count > 0) *rawLength = count;
  text[*rawLength] = '\0';
  return text;
}

void FreeLanguageText(char* text);

// Resolves the escapes in place, from the first byte up to rawLength or the
// first zero byte, and turns every unescaped CR and LF into the separator;
// a double-byte character is copied whole. Terminates the text; returns its
// length.
int UnescapeLanguageText(char* text, int rawLength, const LeadBytes& leadBytes = kNoLeadBytes);

// Appends the offset of every line start after the first one that lies
// before the last eight bytes. False when the index could not grow: the
// offsets appended so far stay.
bool IndexLanguageLines(const char* text, int textLength, LineOffsets& lineOffsets);

// Sorts the offsets by the first eight bytes of their lines.
void SortLanguageLines(const char* text, LineOffsets& lineOffsets);

// The text of the entry for key in a sorted index: it starts after the key,
// "=" and the opening quote, and runs to the end of its line, at most 255
// bytes on the last line, then is cut before its last double quote. It
// never reaches past its line. False when no line starts with the key.
struct LanguageEntry {
  const char* text = nullptr;
  int length = 0;
  bool cutAtLimit = false;  // the last line's entry was cut to 255 bytes
};
bool FindLanguageEntry(const char* text, const LineOffsets& lineOffsets, const char* key,
                       LanguageEntry* entry);
