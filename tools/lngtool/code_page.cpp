#include "code_page.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

#include <vector>

#ifdef _WIN32

bool ToCodePage(const std::u16string& text, int codePage, std::string* bytes) {
  bytes->clear();
  if (text.empty()) return true;
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  BOOL defaulted = FALSE;
  int size = WideCharToMultiByte(static_cast<UINT>(codePage), 0, wide, length, nullptr, 0, nullptr,
                                 &defaulted);
  if (size <= 0) return false;
  std::vector<char> out(static_cast<std::size_t>(size));
  defaulted = FALSE;
  WideCharToMultiByte(static_cast<UINT>(codePage), 0, wide, length, out.data(), size, nullptr,
                      &defaulted);
  bytes->assign(out.data(), out.size());
  return !defaulted;
}

std::string ForConsole(const std::string& bytes, int) { return bytes; }

LeadBytes LeadBytesOf(int codePage) {
  LeadBytes leadBytes;
  CPINFO info{};
  if (!GetCPInfo(static_cast<UINT>(codePage), &info)) return leadBytes;
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) leadBytes.lead[b] = true;
  }
  return leadBytes;
}

#else

namespace {

bool Convert(const char* to, const char* from, const char* in, std::size_t inSize,
             std::string* out) {
  out->clear();
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> buffer(inSize * 4 + 16);
  char* source = const_cast<char*>(in);
  char* target = buffer.data();
  std::size_t left = inSize, room = buffer.size();
  std::size_t result = iconv(converter, &source, &left, &target, &room);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) return false;
  out->assign(buffer.data(), buffer.size() - room);
  return true;
}

std::string IconvName(int codePage) { return "CP" + std::to_string(codePage); }

// Characters that Windows maps in a code page and glibc's table does not.
struct ExtraMapping {
  int codePage;
  char16_t character;
  const char* bytes;
};
constexpr ExtraMapping kExtraMappings[] = {
    {936, u'\uE5E5', "\xA3\xA0"},  // a private-use character of the GBK user area
};

const char* ExtraBytes(int codePage, char16_t c) {
  for (const ExtraMapping& mapping : kExtraMappings) {
    if (mapping.codePage == codePage && mapping.character == c) return mapping.bytes;
  }
  return nullptr;
}

}  // namespace

bool ToCodePage(const std::u16string& text, int codePage, std::string* bytes) {
  bytes->clear();
  std::string utf16le, piece;
  auto flush = [&]() {
    if (utf16le.empty()) return true;
    if (!Convert(IconvName(codePage).c_str(), "UTF-16LE", utf16le.data(), utf16le.size(), &piece)) {
      return false;
    }
    *bytes += piece;
    utf16le.clear();
    return true;
  };
  for (char16_t c : text) {
    if (const char* extra = ExtraBytes(codePage, c)) {
      if (!flush()) return false;
      *bytes += extra;
      continue;
    }
    utf16le += static_cast<char>(c & 0xFF);
    utf16le += static_cast<char>(c >> 8);
  }
  return flush();
}

namespace {

// The lead-byte ranges Windows gives for its double-byte code pages.
struct LeadByteRange {
  int codePage;
  unsigned char first, last;
};
constexpr LeadByteRange kLeadByteRanges[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE},
    {950, 0x81, 0xFE}, {1361, 0x84, 0xD3}, {1361, 0xD8, 0xDE}, {1361, 0xE0, 0xF9},
};

}  // namespace

LeadBytes LeadBytesOf(int codePage) {
  LeadBytes leadBytes;
  for (const LeadByteRange& range : kLeadByteRanges) {
    if (range.codePage != codePage) continue;
    for (int b = range.first; b <= range.last; ++b) leadBytes.lead[b] = true;
  }
  return leadBytes;
}

std::string ForConsole(const std::string& bytes, int codePage) {
  std::string utf8;
  if (!Convert("UTF-8", IconvName(codePage).c_str(), bytes.data(), bytes.size(), &utf8)) {
    return bytes;
  }
  return utf8;
}

#endif
