// lngtool: makes and checks the language file "uninstall.lng" of a Korvik
// installation from the texts of the built program itself.
//
//   lngtool template PROGRAM.exe CODEPAGE OUTPUT.lng
//   lngtool pair     PROGRAM.exe LIBRARY.dll CODEPAGE OUTPUT.lng
//   lngtool check    PROGRAM.exe CODEPAGE FILE.lng
//
// Built natively (build-native.sh) and as a Windows console program from
// the same sources. The keys and the escapes are those of the program's
// own loader (src/localization/language_text.h).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "code_page.h"
#include "localization/dialog_localization.h"
#include "localization/language_text.h"
#include "pe_resources.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

// The program's message ids and the buffers its loader reads them into.
constexpr int kFirstMessage = IDS_FIRST;
constexpr int kLastMessage = IDS_LAST;
constexpr int kFormatMessages[] = {IDS_DELETE_BY_HAND, IDS_NO_LIST_FILE};  // one "%s" each
// Room a translation leaves in its buffer: closing quote, line separator
// and terminator.
constexpr std::size_t kBufferOverhead = 3;
constexpr char kDirectionContext[] = "LTR";
constexpr char kSourcePrefix[] = "# ";  // never a key: '#' is no hex digit
constexpr std::size_t kRegionEnd =
    static_cast<std::size_t>(kMarkerBlockCount) * (kMarkerBlockSize - kMarkerBlockOverlap);

enum class Role { Message, Format, DialogText, Scale, Direction };

struct KnownText {
  char kind;
  std::string context;
  std::string source;  // bytes of the code page, as the program reads them
  std::string label;
  Role role;
  std::string key;
  std::string translation;
};

std::size_t Capacity(Role role) {
  return role == Role::DialogText || role == Role::Direction ? kDialogTextSize : kMessageSize;
}

bool ReadFileBytes(const char* path, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool ReadProgram(const char* path, ProgramTexts* texts) {
  std::vector<std::uint8_t> image;
  std::string error;
  if (!ReadFileBytes(path, &image)) {
    std::fprintf(stderr, "%s: cannot read\n", path);
    return false;
  }
  if (!ReadProgramTexts(image, texts, &error)) {
    std::fprintf(stderr, "%s: %s\n", path, error.c_str());
    return false;
  }
  return true;
}

// Every text the program looks up, in the order a translator meets them.
class Catalogue {
 public:
  explicit Catalogue(int codePage) : codePage_(codePage) {}

  void Build(const ProgramTexts& texts) {
    Add('$', kDirectionContext, kDirectionContext,
        "direction: LTR, or RTL for a right-to-left language", Role::Direction);
    for (int id = kFirstMessage; id <= kLastMessage; ++id) {
      auto found = texts.strings.find(id);
      if (found == texts.strings.end()) continue;
      bool format = std::find(std::begin(kFormatMessages), std::end(kFormatMessages), id) !=
                    std::end(kFormatMessages);
      AddWide('s', "", found->second,
              "message " + std::to_string(id) + (format ? " (keep exactly one %s)" : ""),
              format ? Role::Format : Role::Message);
    }
    for (const DialogTexts& dialog : texts.dialogs) {
      Add('$', dialog.name, "", dialog.name + " scale: width percent*height percent", Role::Scale);
      AddWide('$', dialog.name, dialog.caption, dialog.name + " caption", Role::DialogText);
      for (const std::u16string& item : dialog.items) {
        if (!item.empty()) AddWide('$', dialog.name, item, dialog.name, Role::DialogText);
      }
    }
  }

  const std::vector<KnownText>& Texts() const { return texts_; }
  const KnownText* Find(const std::string& key) const {
    auto found = byKey_.find(key);
    return found == byKey_.end() ? nullptr : &texts_[found->second];
  }
  std::vector<KnownText>& MutableTexts() { return texts_; }

 private:
  void AddWide(char kind, const std::string& context, const std::u16string& text,
               const std::string& label, Role role) {
    std::string bytes;
    if (!ToCodePage(text, codePage_, &bytes)) {
      std::fprintf(stderr, "warning: %s: a text has no form in code page %d; left out\n",
                   label.c_str(), codePage_);
      return;
    }
    Add(kind, context, bytes, label, role);
  }
  void Add(char kind, const std::string& context, const std::string& source,
           const std::string& label, Role role) {
    KnownText text{kind, context, source, label, role, "", ""};
    char key[kKeySize];
    MakeLanguageKey(kind, context.empty() ? nullptr : context.c_str(), source.c_str(), key);
    text.key = key;
    if (byKey_.count(text.key)) return;  // one entry serves equal texts of a dialog
    text.translation = role == Role::Scale ? "100*100" : source;
    byKey_[text.key] = texts_.size();
    texts_.push_back(text);
  }

  int codePage_;
  std::vector<KnownText> texts_;
  std::map<std::string, std::size_t> byKey_;
};

// A double-byte character is written as it is: the loader steps over its
// trail byte, which may equal a backslash.
std::string Escape(const std::string& text, const LeadBytes& leadBytes) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (StartsDoubleByte(text.data() + i, text.size() - i, leadBytes)) {
      out += c;
      out += text[++i];
      continue;
    }
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        out += c;
    }
  }
  return out;
}

struct MemoryReader {
  const std::vector<std::uint8_t>& bytes;
  std::int64_t position = 0;
  std::int64_t Tell() const { return position; }
  int Read(char* buffer, int count) {
    std::int64_t left = static_cast<std::int64_t>(bytes.size()) - position;
    if (left <= 0) return 0;
    int n = left < count ? static_cast<int>(left) : count;
    std::memcpy(buffer, bytes.data() + position, static_cast<std::size_t>(n));
    position += n;
    return n;
  }
  void Seek(std::int64_t to) { position = to; }
};

// A file this tool writes must give the program every text as written: the
// entries are read back as the loader reads them. False, naming the first
// entry that differs, when one does not.
bool ReadsBackAsWritten(const std::string& file, const Catalogue& catalogue,
                        const LeadBytes& leadBytes) {
  std::vector<std::uint8_t> bytes(file.begin(), file.end());
  MemoryReader reader{bytes};
  std::int64_t marker = 0;
  int rawLength = 0;
  char* text = FindLanguageMarker(reader, &marker) ? ReadLanguageRegion(reader, marker, &rawLength)
                                                   : nullptr;
  if (!text) return false;
  int length = UnescapeLanguageText(text, rawLength, leadBytes);
  LineOffsets lines;
  bool same = IndexLanguageLines(text, length, lines);
  SortLanguageLines(text, lines);
  for (const KnownText& known : catalogue.Texts()) {
    LanguageEntry entry;
    if (!same || file.find(known.key + "=\"") == std::string::npos) continue;  // left out
    same = FindLanguageEntry(text, lines, known.key.c_str(), &entry) &&
           std::string(entry.text, static_cast<std::size_t>(entry.length)) == known.translation;
    if (!same)
      std::fprintf(stderr, "%s (%s) does not read back as written\n", known.key.c_str(),
                   known.label.c_str());
  }
  FreeLanguageText(text);
  return same;
}

bool WriteLanguageFile(const char* path, const Catalogue& catalogue, int codePage,
                       const char* origin) {
  const LeadBytes leadBytes = LeadBytesOf(codePage);
  std::string file;
  file += "Korvik uninstall.exe language file, code page " + std::to_string(codePage) + ", from " +
          origin + ".\r\n";
  file += "Nothing before the marker line is read. A line starting with \"#\" shows the\r\n";
  file += "built-in text of the entry below it; change only the text between the quotes.\r\n";
  file += std::string(kLanguageMarker) + "*\r\n";
  for (const KnownText& text : catalogue.Texts()) {
    if (text.source.find(kLineSeparator) != std::string::npos) {
      std::fprintf(stderr, "warning: %s: a form feed cannot be written; left out\n",
                   text.label.c_str());
      continue;
    }
    file += kSourcePrefix + text.label + ": " + Escape(text.source, leadBytes) + "\r\n";
    file += text.key + "=\"" + Escape(text.translation, leadBytes) + "\"\r\n";
  }
  if (!ReadsBackAsWritten(file, catalogue, leadBytes)) return false;
  if (file.size() > static_cast<std::size_t>(kLanguageRegionSize)) {
    std::fprintf(stderr, "warning: the file is longer than the %d bytes the program reads\n",
                 kLanguageRegionSize);
  }
  std::ofstream out(path, std::ios::binary);
  out << file;
  return static_cast<bool>(out);
}

int CodePageArgument(const char* text) {
  int codePage = std::atoi(text);
  if (codePage <= 0) std::fprintf(stderr, "%s: not a code page number\n", text);
  return codePage;
}

int MakeTemplate(const char* program, const char* codePageText, const char* output) {
  int codePage = CodePageArgument(codePageText);
  ProgramTexts texts;
  if (codePage <= 0 || !ReadProgram(program, &texts)) return 2;
  Catalogue catalogue(codePage);
  catalogue.Build(texts);
  if (!WriteLanguageFile(output, catalogue, codePage, "the program's own texts")) {
    std::fprintf(stderr, "%s: cannot write\n", output);
    return 2;
  }
  std::printf("%s: %zu entries\n", output, catalogue.Texts().size());
  return 0;
}

// The library's texts, by string id and by dialog and control position,
// as the translations of the program's.
int MakePair(const char* program, const char* library, const char* codePageText,
             const char* output) {
  int codePage = CodePageArgument(codePageText);
  ProgramTexts builtIn, translated;
  if (codePage <= 0 || !ReadProgram(program, &builtIn) || !ReadProgram(library, &translated)) {
    return 2;
  }
  Catalogue catalogue(codePage);
  catalogue.Build(builtIn);
  std::map<std::string, std::string> translations;  // key -> text
  auto pair = [&](char kind, const std::string& context, const std::u16string& source,
                  const std::u16string& target) {
    std::string from, to;
    if (target.empty() || !ToCodePage(source, codePage, &from) ||
        !ToCodePage(target, codePage, &to)) {
      return;
    }
    char key[kKeySize];
    MakeLanguageKey(kind, context.empty() ? nullptr : context.c_str(), from.c_str(), key);
    translations[key] = to;
  };
  for (const auto& entry : builtIn.strings) {
    auto found = translated.strings.find(entry.first);
    if (found != translated.strings.end()) pair('s', "", entry.second, found->second);
  }
  for (const DialogTexts& dialog : builtIn.dialogs) {
    for (const DialogTexts& other : translated.dialogs) {
      if (other.name != dialog.name) continue;
      pair('$', dialog.name, dialog.caption, other.caption);
      if (other.items.size() != dialog.items.size()) {
        std::fprintf(stderr, "warning: %s: the controls differ; only the caption is paired\n",
                     dialog.name.c_str());
        continue;
      }
      for (std::size_t i = 0; i < dialog.items.size(); ++i) {
        if (!dialog.items[i].empty()) pair('$', dialog.name, dialog.items[i], other.items[i]);
      }
    }
  }
  for (KnownText& text : catalogue.MutableTexts()) {
    auto found = translations.find(text.key);
    if (found != translations.end()) text.translation = found->second;
  }
  if (!WriteLanguageFile(output, catalogue, codePage, library)) {
    std::fprintf(stderr, "%s: cannot write\n", output);
    return 2;
  }
  std::printf("%s: %zu entries, %zu translated\n", output, catalogue.Texts().size(),
              translations.size());
  return 0;
}

// --- check -------------------------------------------------------------

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool IsHex(char c) { return IsLowerHex(c) || (c >= 'A' && c <= 'F'); }

class Checker {
 public:
  Checker(const Catalogue& catalogue, int codePage)
      : catalogue_(catalogue), codePage_(codePage), leadBytes_(LeadBytesOf(codePage)) {}

  int Run(const char* path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, &bytes)) {
      std::fprintf(stderr, "%s: cannot read\n", path);
      return 2;
    }
    MemoryReader reader{bytes};
    std::int64_t marker = 0;
    if (!FindLanguageMarker(reader, &marker)) {
      std::string all(bytes.begin(), bytes.end());
      std::size_t at = all.find(kLanguageMarker);
      if (at == std::string::npos) {
        Problem("no marker line \"***messages***\": the program reads nothing of this file");
      } else {
        Problem("the marker at byte " + std::to_string(at) +
                " is too far into the file or too near its end (the program looks up to byte " +
                std::to_string(kRegionEnd) + " and needs 16 bytes from the marker on)");
      }
      return Report(path);
    }
    int rawLength = 0;
    reader.Seek(marker);
    char* text = ReadLanguageRegion(reader, marker, &rawLength);
    if (!text) return 2;
    std::size_t fromMarker = bytes.size() - static_cast<std::size_t>(marker);
    if (fromMarker > static_cast<std::size_t>(kLanguageRegionSize)) {
      Problem("more than " + std::to_string(kLanguageRegionSize) +
              " bytes from the marker on: the rest is not read");
    }
    int length = UnescapeLanguageText(text, rawLength, leadBytes_);
    CheckLines(text, length);
    FreeLanguageText(text);
    return Report(path);
  }

 private:
  void Problem(const std::string& what) { problems_.push_back(what); }
  std::string Show(const std::string& line) const {
    std::string shown = ForConsole(line.substr(0, 60), codePage_);
    return "\"" + shown + (line.size() > 60 ? "...\"" : "\"");
  }

  void CheckLines(const char* text, int length) {
    int start = 0;
    while (start < length) {
      int end = start;
      while (end < length && text[end] != kLineSeparator) ++end;
      std::string line(text + start, static_cast<std::size_t>(end - start));
      bool last = end >= length;
      if (start == 0) {
        if (line.find('=') != std::string::npos && line.find('"') != std::string::npos) {
          Problem("the marker's own line is never an entry: " + Show(line));
        }
      } else if (!line.empty()) {
        bool indexed = start < length - kKeyLength;
        CheckLine(line, last, indexed);
      }
      start = end + 1;
    }
    for (const KnownText& known : catalogue_.Texts()) {
      if (!seen_.count(known.key) && known.role != Role::Scale && known.role != Role::Direction) {
        ++untranslated_;
      }
    }
  }

  void CheckLine(const std::string& line, bool last, bool indexed) {
    bool wellFormed = line.size() >= static_cast<std::size_t>(kEntryTextOffset) &&
                      line[kKeyLength] == '=' && line[kKeyLength + 1] == '"';
    for (int i = 0; wellFormed && i < kKeyLength; ++i) wellFormed = IsLowerHex(line[i]);
    if (!wellFormed) {
      CheckLookAlike(line);
      return;
    }
    std::string key = line.substr(0, kKeyLength);
    if (!indexed) {
      Problem("entry too near the end of the text, never found: " + Show(line));
      return;
    }
    ++entries_;
    const KnownText* known = catalogue_.Find(key);
    if (!known) {
      Problem("key " + key + " matches no text of the program in code page " +
              std::to_string(codePage_) + ": " + Show(line));
      return;
    }
    if (!seen_.insert(key).second) {
      Problem("duplicate key " + key + " (" + known->label + "): the program uses either one");
    }
    std::size_t close = line.rfind('"');
    std::string value;
    if (close < static_cast<std::size_t>(kEntryTextOffset)) {
      Problem("no closing quote for key " + key + " (" + known->label + ")");
      value = line.substr(kEntryTextOffset);
    } else {
      value = line.substr(kEntryTextOffset, close - kEntryTextOffset);
    }
    std::size_t limit = last ? kLastLineEntryLimit : Capacity(known->role) - kBufferOverhead;
    if (value.size() > limit) {
      Problem("text of " + key + " (" + known->label + ") is " + std::to_string(value.size()) +
              " bytes; at most " + std::to_string(limit) + " fit" +
              (last ? " on the last line" : ""));
    }
    CheckValue(key, *known, value);
  }

  void CheckValue(const std::string& key, const KnownText& known, const std::string& value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (StartsDoubleByte(value.data() + i, value.size() - i, leadBytes_)) {
        ++i;
      } else if (leadBytes_.IsLead(value[i])) {
        Problem("text of " + key + " (" + known.label + ") holds a lead byte of code page " +
                std::to_string(codePage_) + " without its second byte: a character is cut");
        break;
      }
    }
    if (known.role == Role::Format) {
      int strings = 0, others = 0;
      for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') continue;
        if (i + 1 < value.size() && value[i + 1] == '%') {
          ++i;
        } else if (i + 1 < value.size() && value[i + 1] == 's') {
          ++strings;
          ++i;
        } else {
          ++others;
        }
      }
      if (strings != 1 || others != 0) {
        Problem("text of " + key + " (" + known.label +
                ") must hold exactly one %s and no other %");
      }
    }
    if (known.role == Role::Scale) {
      int width = 0, height = 0;
      if (!ParseScaleEntry(value.c_str(), &width, &height)) {
        Problem("scale " + key + " (" + known.label + ") has no \"*\": the dialog keeps its size");
      } else if (width <= 0 || height <= 0) {
        Problem("scale " + key + " (" + known.label +
                ") gives 0 percent or less (or a number is missing): the program takes 100");
      } else if (width != UsableScalePercent(width) || height != UsableScalePercent(height)) {
        Problem("scale " + key + " (" + known.label + ") is outside " + std::to_string(kMinScale) +
                " to " + std::to_string(kMaxScale) + " percent: the program takes " +
                std::to_string(UsableScalePercent(width)) + "*" +
                std::to_string(UsableScalePercent(height)));
      }
    }
    if (known.role == Role::Direction && value != "RTL" && value != "LTR") {
      Problem("direction " + key + " is \"" + value +
              "\": only \"RTL\" in capitals makes the language right to left");
    }
  }

  // A line that a translator meant as an entry but that no lookup finds.
  void CheckLookAlike(const std::string& line) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos) return;
    std::size_t digits = at;
    while (digits < line.size() && IsHex(line[digits])) ++digits;
    std::size_t count = digits - at;
    std::size_t equals = line.find_first_not_of(" \t", digits);
    if (count < 6 || count > 10 || equals == std::string::npos || line[equals] != '=') return;
    std::string why;
    if (count != static_cast<std::size_t>(kKeyLength)) {
      why = "a key has exactly eight digits";
    } else if (at != 0) {
      why = "blanks before the key";
    } else if (line.compare(0, kKeyLength, Lower(line.substr(0, kKeyLength))) != 0) {
      why = "upper-case digits in the key";
    } else if (equals != static_cast<std::size_t>(kKeyLength)) {
      why = "blanks between the key and \"=\"";
    } else {
      why = "the text must follow \"=\" at once, in double quotes";
    }
    Problem("looks like an entry but is never found (" + why + "): " + Show(line));
  }

  static std::string Lower(std::string text) {
    for (char& c : text) {
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
  }

  int Report(const char* path) {
    for (const std::string& problem : problems_) std::printf("%s: %s\n", path, problem.c_str());
    std::printf("%s: %d entries, %d texts of the program without an entry, %zu problems\n", path,
                entries_, untranslated_, problems_.size());
    return problems_.empty() ? 0 : 1;
  }

  const Catalogue& catalogue_;
  int codePage_;
  LeadBytes leadBytes_;
  std::vector<std::string> problems_;
  std::set<std::string> seen_;
  int entries_ = 0;
  int untranslated_ = 0;
};

int Check(const char* program, const char* codePageText, const char* file) {
  int codePage = CodePageArgument(codePageText);
  ProgramTexts texts;
  if (codePage <= 0 || !ReadProgram(program, &texts)) return 2;
  Catalogue catalogue(codePage);
  catalogue.Build(texts);
  Checker checker(catalogue, codePage);
  return checker.Run(file);
}

int Usage() {
  std::fprintf(stderr,
               "usage:\n"
               "  lngtool template PROGRAM.exe CODEPAGE OUTPUT.lng\n"
               "  lngtool pair     PROGRAM.exe LIBRARY.dll CODEPAGE OUTPUT.lng\n"
               "  lngtool check    PROGRAM.exe CODEPAGE FILE.lng\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "template") == 0) {
    return MakeTemplate(argv[2], argv[3], argv[4]);
  }
  if (argc == 6 && std::strcmp(argv[1], "pair") == 0) {
    return MakePair(argv[2], argv[3], argv[4], argv[5]);
  }
  if (argc == 5 && std::strcmp(argv[1], "check") == 0) return Check(argv[2], argv[3], argv[4]);
  return Usage();
}
