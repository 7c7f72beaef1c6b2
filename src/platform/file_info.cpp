#include "platform/file_info.h"

#include <windows.h>

#include <cstring>

#include "platform/text.h"

namespace {

// The fixed part of a version resource: it follows the block's header and
// its key, on a 4-byte boundary, and starts with this signature.
constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
// Header (three 16-bit fields) and the key "VS_VERSION_INFO" in UTF-16,
// padded: the fixed part is no further in.
constexpr std::size_t kFixedInfoSearch = 64;

// Owns a library mapped as data only.
class DataModule {
 public:
  explicit DataModule(const char* path)
      : module_(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};

const VS_FIXEDFILEINFO* FindFixedInfo(const BYTE* data, std::size_t size) {
  for (std::size_t at = 0; at <= kFixedInfoSearch && at + sizeof(VS_FIXEDFILEINFO) <= size;
       at += sizeof(DWORD)) {
    DWORD signature;
    std::memcpy(&signature, data + at, sizeof signature);
    if (signature == kFixedInfoSignature) {
      return reinterpret_cast<const VS_FIXEDFILEINFO*>(data + at);
    }
  }
  return nullptr;
}

}  // namespace

bool GetPlainFileSize(const char* path, std::uint64_t& bytes) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  bytes = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool GetProductVersion(const char* path, char* text, std::size_t capacity) {
  if (capacity == 0) return false;
  text[0] = '\0';
  DataModule module(path);
  if (module.Get() == nullptr) return false;
  HRSRC found = FindResourceA(module.Get(), MAKEINTRESOURCEA(VS_VERSION_INFO),
                              MAKEINTRESOURCEA(16));  // RT_VERSION
  HGLOBAL loaded = found != nullptr ? LoadResource(module.Get(), found) : nullptr;
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return false;
  const VS_FIXEDFILEINFO* info =
      FindFixedInfo(static_cast<const BYTE*>(data), SizeofResource(module.Get(), found));
  if (info == nullptr) return false;
  if (!FormatText(text, capacity, "%u.%u.%u.%u", unsigned{HIWORD(info->dwProductVersionMS)},
                  unsigned{LOWORD(info->dwProductVersionMS)},
                  unsigned{HIWORD(info->dwProductVersionLS)},
                  unsigned{LOWORD(info->dwProductVersionLS)})) {
    text[0] = '\0';
    return false;
  }
  return true;
}
