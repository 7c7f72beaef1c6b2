#include "pe_resources.h"

namespace {

constexpr std::uint32_t kResourceString = 6;
constexpr std::uint32_t kResourceDialog = 5;
constexpr int kStringsPerBlock = 16;
constexpr std::uint32_t kDialogSetFont = 0x40;  // DS_SETFONT
constexpr int kResourceDirectoryIndex = 2;
constexpr int kMaxDepthEntries = 4096;  // a damaged file must not loop long

// Bounds-checked little-endian reads over the whole file.
class Bytes {
 public:
  explicit Bytes(const std::vector<std::uint8_t>& data) : data_(data) {}
  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= data_.size() && count <= data_.size() - offset;
  }
  std::uint16_t U16(std::size_t offset) const {
    if (!Has(offset, 2)) return 0;
    return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
  }
  std::uint32_t U32(std::size_t offset) const {
    if (!Has(offset, 4)) return 0;
    return static_cast<std::uint32_t>(U16(offset)) |
           static_cast<std::uint32_t>(U16(offset + 2)) << 16;
  }
  std::size_t Size() const { return data_.size(); }

 private:
  const std::vector<std::uint8_t>& data_;
};

struct Section {
  std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class PeImage {
 public:
  explicit PeImage(const std::vector<std::uint8_t>& data) : bytes_(data) {}

  bool Open(std::string* error) {
    if (bytes_.U16(0) != 0x5A4D) return Fail(error, "not an MZ file");
    std::uint32_t pe = bytes_.U32(0x3C);
    if (!bytes_.Has(pe, 24) || bytes_.U32(pe) != 0x00004550) return Fail(error, "no PE header");
    std::uint16_t sectionCount = bytes_.U16(pe + 6);
    std::uint16_t optionalSize = bytes_.U16(pe + 20);
    std::size_t optional = pe + 24;
    std::uint16_t magic = bytes_.U16(optional);
    std::size_t directories;
    if (magic == 0x10B) {
      directories = optional + 96;
    } else if (magic == 0x20B) {
      directories = optional + 112;
    } else {
      return Fail(error, "unknown optional header");
    }
    resourceRva_ = bytes_.U32(directories + kResourceDirectoryIndex * 8);
    std::size_t table = optional + optionalSize;
    for (int i = 0; i < sectionCount; ++i) {
      std::size_t entry = table + static_cast<std::size_t>(i) * 40;
      if (!bytes_.Has(entry, 40)) return Fail(error, "section table cut short");
      sections_.push_back({bytes_.U32(entry + 12), bytes_.U32(entry + 8), bytes_.U32(entry + 20),
                           bytes_.U32(entry + 16)});
    }
    if (resourceRva_ == 0 || !ToOffset(resourceRva_, &resourceBase_)) {
      return Fail(error, "no resource section");
    }
    return true;
  }

  // File offset of an address of the loaded image.
  bool ToOffset(std::uint32_t rva, std::size_t* offset) const {
    for (const Section& s : sections_) {
      std::uint32_t size = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
      if (rva >= s.virtualAddress && rva - s.virtualAddress < size) {
        *offset = static_cast<std::size_t>(s.rawOffset) + (rva - s.virtualAddress);
        return bytes_.Has(*offset, 0);
      }
    }
    return false;
  }

  const Bytes& ByteView() const { return bytes_; }
  std::size_t ResourceBase() const { return resourceBase_; }

 private:
  static bool Fail(std::string* error, const char* why) {
    *error = why;
    return false;
  }
  Bytes bytes_;
  std::vector<Section> sections_;
  std::uint32_t resourceRva_ = 0;
  std::size_t resourceBase_ = 0;
};

// One entry of a resource directory: by id, or by name (UTF-16).
struct DirectoryEntry {
  bool named = false;
  std::uint32_t id = 0;
  std::u16string name;
  bool isDirectory = false;
  std::size_t target = 0;  // offset of the subdirectory or data entry
};

std::vector<DirectoryEntry> ReadDirectory(const PeImage& image, std::size_t directory) {
  const Bytes& b = image.ByteView();
  std::vector<DirectoryEntry> entries;
  int count = b.U16(directory + 12) + b.U16(directory + 14);
  if (count > kMaxDepthEntries) count = kMaxDepthEntries;
  for (int i = 0; i < count; ++i) {
    std::size_t at = directory + 16 + static_cast<std::size_t>(i) * 8;
    if (!b.Has(at, 8)) break;
    std::uint32_t nameField = b.U32(at), offsetField = b.U32(at + 4);
    DirectoryEntry entry;
    if (nameField & 0x80000000u) {
      entry.named = true;
      std::size_t name = image.ResourceBase() + (nameField & 0x7FFFFFFFu);
      std::uint16_t length = b.U16(name);
      for (std::uint16_t k = 0; k < length && b.Has(name + 2 + k * 2u, 2); ++k) {
        entry.name += static_cast<char16_t>(b.U16(name + 2 + k * 2u));
      }
    } else {
      entry.id = nameField;
    }
    entry.isDirectory = (offsetField & 0x80000000u) != 0;
    entry.target = image.ResourceBase() + (offsetField & 0x7FFFFFFFu);
    entries.push_back(entry);
  }
  return entries;
}

// The data of the first language under a name entry.
bool FirstLanguageData(const PeImage& image, const DirectoryEntry& name, std::size_t* offset,
                       std::size_t* size) {
  if (!name.isDirectory) return false;
  std::vector<DirectoryEntry> languages = ReadDirectory(image, name.target);
  if (languages.empty() || languages[0].isDirectory) return false;
  const Bytes& b = image.ByteView();
  std::size_t data = languages[0].target;
  if (!b.Has(data, 16)) return false;
  *size = b.U32(data + 4);
  return image.ToOffset(b.U32(data), offset) && b.Has(*offset, *size);
}

// Reads the string table blocks: block n holds ids (n - 1) * 16 to n * 16 - 1.
void ReadStrings(const PeImage& image, const DirectoryEntry& type, ProgramTexts* texts) {
  const Bytes& b = image.ByteView();
  for (const DirectoryEntry& block : ReadDirectory(image, type.target)) {
    std::size_t offset = 0, size = 0;
    if (block.named || !FirstLanguageData(image, block, &offset, &size)) continue;
    std::size_t end = offset + size, at = offset;
    for (int i = 0; i < kStringsPerBlock && at + 2 <= end; ++i) {
      std::uint16_t length = b.U16(at);
      at += 2;
      std::u16string text;
      for (std::uint16_t k = 0; k < length && at + 2 <= end; ++k, at += 2) {
        text += static_cast<char16_t>(b.U16(at));
      }
      int id = static_cast<int>((block.id - 1) * kStringsPerBlock) + i;
      if (length > 0 && texts->strings.count(id) == 0) texts->strings[id] = text;
    }
  }
}

// A template field that is either absent (0), an ordinal (0xFFFF, id) or a
// zero-terminated UTF-16 text. Only texts are kept.
class TemplateReader {
 public:
  TemplateReader(const Bytes& b, std::size_t offset, std::size_t size)
      : b_(b), at_(offset), end_(offset + size) {}
  bool Ok() const { return ok_; }
  std::uint16_t Word() {
    if (at_ + 2 > end_) {
      ok_ = false;
      return 0;
    }
    std::uint16_t value = b_.U16(at_);
    at_ += 2;
    return value;
  }
  std::uint32_t Dword() {
    std::uint32_t low = Word();
    return low | static_cast<std::uint32_t>(Word()) << 16;
  }
  std::u16string Text() {
    std::u16string text;
    for (std::uint16_t c = Word(); ok_ && c != 0; c = Word()) text += static_cast<char16_t>(c);
    return text;
  }
  std::u16string TextOrOrdinal() {
    std::uint16_t first = Word();
    if (first == 0) return std::u16string();
    if (first == 0xFFFF) {
      Word();
      return std::u16string();
    }
    std::u16string text(1, static_cast<char16_t>(first));
    return text + Text();
  }
  void Skip(std::size_t count) {
    if (at_ + count > end_) ok_ = false;
    at_ += count;
  }
  void AlignDword(std::size_t base) {
    if ((at_ - base) % 4) Skip(4 - (at_ - base) % 4);
  }

 private:
  const Bytes& b_;
  std::size_t at_, end_;
  bool ok_ = true;
};

bool ReadDialog(const Bytes& b, std::size_t offset, std::size_t size, DialogTexts* dialog,
                std::string* error) {
  TemplateReader r(b, offset, size);
  if (b.U16(offset) == 1 && b.U16(offset + 2) == 0xFFFF) {
    *error = dialog->name + " is a DIALOGEX template; only DIALOG templates are read";
    return false;
  }
  std::uint32_t style = r.Dword();
  r.Dword();  // extended style
  int count = r.Word();
  r.Skip(8);  // x, y, cx, cy
  r.TextOrOrdinal();  // menu
  r.TextOrOrdinal();  // class
  dialog->caption = r.Text();
  if (style & kDialogSetFont) {
    r.Word();
    r.Text();
  }
  for (int i = 0; i < count && r.Ok(); ++i) {
    r.AlignDword(offset);
    r.Skip(4 + 4 + 8 + 2);  // style, extended style, x, y, cx, cy, id
    r.TextOrOrdinal();       // class
    dialog->items.push_back(r.TextOrOrdinal());
    r.Skip(r.Word());        // creation data
  }
  if (!r.Ok()) {
    *error = dialog->name + ": template cut short";
    return false;
  }
  return true;
}

std::string Narrow(const std::u16string& name) {
  std::string text;
  for (char16_t c : name) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

}  // namespace

bool ReadProgramTexts(const std::vector<std::uint8_t>& data, ProgramTexts* texts,
                      std::string* error) {
  PeImage image(data);
  if (!image.Open(error)) return false;
  for (const DirectoryEntry& type : ReadDirectory(image, image.ResourceBase())) {
    if (type.named || !type.isDirectory) continue;
    if (type.id == kResourceString) ReadStrings(image, type, texts);
    if (type.id != kResourceDialog) continue;
    for (const DirectoryEntry& name : ReadDirectory(image, type.target)) {
      DialogTexts dialog;
      dialog.name = name.named ? Narrow(name.name) : "#" + std::to_string(name.id);
      if (dialog.name == "RTL") {
        texts->hasRtlDialog = true;
        continue;
      }
      std::size_t offset = 0, size = 0;
      if (!FirstLanguageData(image, name, &offset, &size)) continue;
      if (!ReadDialog(image.ByteView(), offset, size, &dialog, error)) return false;
      texts->dialogs.push_back(dialog);
    }
  }
  return true;
}
