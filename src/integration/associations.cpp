#include "integration/associations.h"

#include <windows.h>

#include <cstring>

#include "integration/archiver.h"
#include "integration/templates.h"
#include "localization/messages.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

constexpr char kArchiveProgramId[] = "Korvik";
constexpr char kZipProgramId[] = "Korvik.ZIP";
constexpr char kRecoveryProgramId[] = "Korvik.REV";
constexpr char kRecoveryExtension[] = ".rev";

// One extension split off a row of the archive type table.
constexpr std::size_t kExtensionSize = 56;
// The default value read by the ownership test.
constexpr std::size_t kOwnTestSize = 80;
// A former program id or content type.
constexpr std::size_t kTypeSize = 512;
// The "NullFile" value is only tested for presence.
constexpr std::size_t kNullFileSize = 10;
// The quoted archiver path and "%1" of an open command.
constexpr std::size_t kCommandSize = kPathSize + 16;
// "archiver path,1".
constexpr std::size_t kIconSize = kPathSize + 4;
// ".o00" to ".o99".
constexpr std::size_t kVolumeNameSize = 8;

// The NT family takes over the first 30 volume extensions, the 9x family
// 100; a release looks at all 100.
constexpr int kVolumesNt = 30;
constexpr int kVolumes9x = 100;
constexpr int kVolumesAll = 100;

// Marks a saved "ShellNew" that stood for a "NullFile" value.
constexpr char kNullFileMark[] = "*";

struct TypeAssociation {
  const char* programId;
  bool isOrv;  // volume extensions and the "orvnew.dat" template
};

// Per row of kArchiveTypes, in its order. ZIP (the one row naming
// kZipProgramId) gets the "zipnew.dat" template.
constexpr TypeAssociation kTypeAssociations[kArchiveTypeCount] = {
    {kArchiveProgramId, true},   // ORV
    {kZipProgramId, false},      // ZIP
    {kArchiveProgramId, false},  // CAB
    {kArchiveProgramId, false},  // ARJ
    {kArchiveProgramId, false},  // LZH
    {kArchiveProgramId, false},  // ACE
    {kArchiveProgramId, false},  // 7-Zip
    {kArchiveProgramId, false},  // TAR
    {kArchiveProgramId, false},  // GZip
    {kArchiveProgramId, false},  // UUE
    {kArchiveProgramId, false},  // BZ2
    {kArchiveProgramId, false},  // JAR
    {kArchiveProgramId, false},  // ISO
    {kArchiveProgramId, false},  // Z
};

struct ProgramId {
  const char* name;
  UINT description;       // string id
  int icon;               // index in the archiver
  const char* extension;  // pointed at this id first, or null
};

constexpr ProgramId kProgramIds[] = {
    {kArchiveProgramId, IDS_ARCHIVE_TYPE_NAME, 0, nullptr},
    {kZipProgramId, IDS_ZIP_TYPE_NAME, 0, nullptr},
    {kRecoveryProgramId, IDS_RECOVERY_TYPE_NAME, 1, kRecoveryExtension},
};

// Program ids are ASCII and the registry compares them without regard to
// case whatever the user's locale, so the comparison folds ASCII letters
// only.
bool SameIdIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a);
    unsigned char cb = static_cast<unsigned char>(*b);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
}

bool IsOwnProgramId(const char* id) {
  return SameIdIgnoringCase(id, kArchiveProgramId) || SameIdIgnoringCase(id, kZipProgramId);
}

// The file of an icon value "path,index" or "path", quotes taken off. False
// when it does not fit or a quote is not closed.
bool IconFile(const char* icon, char (&file)[kPathSize]) {
  bool quoted = icon[0] == '"';
  if (!CopyText(file, icon + (quoted ? 1 : 0))) return false;
  char* cut = nullptr;
  for (char* p = file; *p != '\0'; p = NextChar(p)) {
    if (quoted && *p == '"') {
      cut = p;
      break;
    }
    if (!quoted && *p == ',') cut = p;  // the last comma: a folder may hold one
  }
  if (cut) {
    *cut = '\0';
  } else if (quoted) {
    return false;
  }
  return true;
}

bool IsDrivePath(const char* path) {
  char drive = path[0];
  return ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) &&
         IsDriveColon(path[1]) && IsSeparator(path[2]);
}

// An icon that names a "Korvik.exe" no longer there was left by a setup in
// another folder: files would show the icon of a program that is gone. Any
// other icon someone chose, and one that cannot be judged here (a relative
// path, an environment variable, a network path) stays.
bool IsStaleArchiverIcon(const char* icon) {
  char file[kPathSize];
  if (!IconFile(icon, file) || std::strchr(file, '%') != nullptr || !IsDrivePath(file)) {
    return false;
  }
  return SameIdIgnoringCase(FileNamePart(file), kArchiverFileName) && !PathExists(file);
}

bool VolumeName(int number, char* name, std::size_t size) {
  return FormatText(name, size, ".o%02d", number);
}

bool NamesArchiveId(const char* key) {
  char current[kOwnTestSize];
  GetRegString(HKEY_CLASSES_ROOT, key, "", sizeof current, "", current);
  return SameIdIgnoringCase(current, kArchiveProgramId);
}

bool NamesRecoveryId() {
  char current[kOwnTestSize];
  GetRegString(HKEY_CLASSES_ROOT, kRecoveryExtension, "", sizeof current, "", current);
  return SameIdIgnoringCase(current, kRecoveryProgramId);
}

// The key names of one extension: its new-file key under HKEY_CLASSES_ROOT,
// its saved key below the product key and the saved new-file values below
// that. False when a name does not fit: a cut name would be another
// extension's key.
struct ExtensionKeys {
  char newFile[kRegPathSize];
  char saved[kRegPathSize];
  char savedNewFile[kRegPathSize];  // the former new-file entry's values
};

bool MakeExtensionKeys(const char* extension, ExtensionKeys& keys) {
  return FormatText(keys.newFile, sizeof keys.newFile, "%s\\ShellNew", extension) &&
         FormatText(keys.saved, sizeof keys.saved, "Setup\\%s", extension) &&
         FormatText(keys.savedNewFile, sizeof keys.savedNewFile, "Setup\\%s\\ShellNew", extension);
}

// Saves the former new-file entry: the "ShellNew" value of earlier setups'
// records, and every value of the key, but never the product's own. A key
// that still holds the product's entry is the one an earlier setup wrote,
// left when another program took only the default value: what was saved
// before that setup stays the former entry then.
bool SaveFormerNewFileEntry(const ExtensionKeys& keys, const ArchiveTemplate* entry) {
  bool productEntry =
      entry != nullptr && HoldsOwnNewFileValues(HKEY_CLASSES_ROOT, keys.newFile, *entry);
  if (productEntry && RegKeyPresent(HKEY_CURRENT_USER, keys.savedNewFile)) return true;
  char formerTemplate[kPathSize];
  char nullFile[kNullFileSize];
  GetRegString(HKEY_CLASSES_ROOT, keys.newFile, "FileName", sizeof formerTemplate, "",
               formerTemplate);
  if (entry != nullptr && IsOwnTemplateFile(formerTemplate, *entry)) formerTemplate[0] = '\0';
  bool hadNullFile =
      GetRegString(HKEY_CLASSES_ROOT, keys.newFile, "NullFile", sizeof nullFile, "", nullFile);
  bool saved =
      SetRegString(keys.saved, "ShellNew",
                   formerTemplate[0] == '\0' && hadNullFile ? kNullFileMark : formerTemplate) ==
      ERROR_SUCCESS;
  DelRegTree(HKEY_CURRENT_USER, keys.savedNewFile);
  if (!RegKeyPresent(HKEY_CLASSES_ROOT, keys.newFile)) return saved;
  saved = CopyRegValues(HKEY_CLASSES_ROOT, keys.newFile, HKEY_CURRENT_USER, keys.savedNewFile) ==
              ERROR_SUCCESS &&
          saved;
  if (productEntry) {
    // The product made the key: nothing of it is a former owner's.
    RemoveOwnNewFileValues(HKEY_CURRENT_USER, keys.savedNewFile, *entry);
    DelRegKeyIfEmpty(HKEY_CURRENT_USER, keys.savedNewFile);
  }
  return saved;
}

// Whether the former value comes back as it is from the text read of it
// (read tells whether one was): a REG_SZ holding that text, with or without
// its terminator, or no value at all (an empty one included). Another type,
// data past a zero or a value too long to read would come back as another
// value, or none.
bool SavedWhole(const char* extension, const char* name, bool read, const char* text) {
  if (!read) {
    return !RegValuePresent(HKEY_CLASSES_ROOT, extension, name) ||
           RegValueEquals(HKEY_CLASSES_ROOT, extension, name, REG_SZ, "", 0);
  }
  const std::size_t length = std::strlen(text);
  return RegValueEquals(HKEY_CLASSES_ROOT, extension, name, REG_SZ, text, length + 1) ||
         RegValueEquals(HKEY_CLASSES_ROOT, extension, name, REG_SZ, text, length);
}

// Saves what the extension held before it is taken over. False when any of
// it could not be saved: the extension is then not taken over, since its
// former owner could never come back. entry is the product's template for
// the extension, if any.
bool SaveFormerState(const char* extension, const ExtensionKeys& keys,
                     const ArchiveTemplate* entry) {
  char formerType[kTypeSize];
  char formerContent[kTypeSize];
  bool hadType = GetRegString(HKEY_CLASSES_ROOT, extension, "", sizeof formerType, "", formerType);
  bool hadContent = GetRegString(HKEY_CLASSES_ROOT, extension, "Content Type", sizeof formerContent,
                                 "", formerContent);
  if (!SavedWhole(extension, "", hadType, formerType) ||
      !SavedWhole(extension, "Content Type", hadContent, formerContent)) {
    return false;
  }

  bool existed = RegKeyPresent(HKEY_CLASSES_ROOT, extension);
  bool saved = SetRegNumber(keys.saved, "Exist", existed ? 1 : 0) == ERROR_SUCCESS;
  // No "Type" for a key that had no default value: it gets none back. One
  // left from an earlier take-over would name an owner of long ago.
  if (hadType || !existed) {
    saved = SetRegString(keys.saved, "Type", formerType) == ERROR_SUCCESS && saved;
  } else {
    DelRegValue(HKEY_CURRENT_USER, keys.saved, "Type");
  }
  saved = SetRegString(keys.saved, "Content", formerContent) == ERROR_SUCCESS && saved;
  return SaveFormerNewFileEntry(keys, entry) && saved;
}

// Only volume extensions that are missing or already the product's are
// taken: another program's keep their owner, and need nothing saved.
void TakeOverVolumes() {
  int count = NtMajorVersion() != 0 ? kVolumesNt : kVolumes9x;
  for (int number = 0; number < count; ++number) {
    char volume[kVolumeNameSize];
    if (!VolumeName(number, volume, sizeof volume)) continue;
    if (RegKeyPresent(HKEY_CLASSES_ROOT, volume) && !NamesArchiveId(volume)) continue;
    SetRegString(HKEY_CLASSES_ROOT, volume, "", kArchiveProgramId);
    DelRegValue(HKEY_CLASSES_ROOT, volume, "Content Type");
  }
}

// The product's template for an extension, or null when it has none.
const ArchiveTemplate* TemplateOf(bool isZip, bool isOrv) {
  static const ArchiveTemplate orv = ArchiveTemplate::Orv;
  static const ArchiveTemplate zip = ArchiveTemplate::Zip;
  return isOrv ? &orv : isZip ? &zip : nullptr;
}

void TakeOver(const char* extension, bool shell, bool isZip, bool isOrv,
              const ExtensionKeys& keys) {
  const ArchiveTemplate* entry = TemplateOf(isZip, isOrv);
  // Only the step from foreign to own saves: repeated setup runs keep the
  // state from before the first.
  bool foreign = !IsOwnAssociation(extension);
  if (foreign && !SaveFormerState(extension, keys, entry)) return;

  SetRegString(HKEY_CLASSES_ROOT, extension, "", isZip ? kZipProgramId : kArchiveProgramId);
  DelRegValue(HKEY_CLASSES_ROOT, extension, "Content Type");

  if (isOrv) TakeOverVolumes();

  if (shell && entry != nullptr) WriteNewFileEntry(keys.newFile, *entry, foreign);
}

// Volume extensions that still name the archive program id are the
// product's (setup takes no other): they lose that value, and their key
// when nothing else is left in it. All 100 are looked at, whatever family
// set them.
void ReleaseVolumes() {
  for (int number = 0; number < kVolumesAll; ++number) {
    char volume[kVolumeNameSize];
    if (!VolumeName(number, volume, sizeof volume) || !NamesArchiveId(volume)) continue;
    DelRegValue(HKEY_CLASSES_ROOT, volume, "");
    DelRegKeyIfEmpty(HKEY_CLASSES_ROOT, volume);
  }
}

// Takes the product's values out of the new-file key and puts the former
// entry back: every saved value, or, in a record of an earlier setup, the
// file name or null file it held. A key that the product made goes once it
// is empty; one the former owner had stays.
void RestoreNewFileEntry(const ExtensionKeys& keys, const ArchiveTemplate* entry) {
  if (entry != nullptr) RemoveOwnNewFileValues(HKEY_CLASSES_ROOT, keys.newFile, *entry);
  if (RegKeyPresent(HKEY_CURRENT_USER, keys.savedNewFile)) {
    CopyRegValues(HKEY_CURRENT_USER, keys.savedNewFile, HKEY_CLASSES_ROOT, keys.newFile);
    return;
  }
  char formerTemplate[kPathSize];
  GetRegString(keys.saved, "ShellNew", sizeof formerTemplate, "", formerTemplate);
  if (entry != nullptr && IsOwnTemplateFile(formerTemplate, *entry)) formerTemplate[0] = '\0';
  if (formerTemplate[0] == kNullFileMark[0]) {
    SetRegString(HKEY_CLASSES_ROOT, keys.newFile, "NullFile", "");
  } else if (formerTemplate[0] != '\0') {
    SetRegString(HKEY_CLASSES_ROOT, keys.newFile, "FileName", formerTemplate);
  }
  if (entry != nullptr) DelRegKeyIfEmpty(HKEY_CLASSES_ROOT, keys.newFile);
}

// Gives an extension that is still the product's back to what it was before
// the first take-over. existedByDefault answers "Exist" when nothing was
// saved.
void GiveBack(const char* extension, const ExtensionKeys& keys, const ArchiveTemplate* entry,
              bool existedByDefault) {
  bool existed = GetRegNumber(keys.saved, "Exist", existedByDefault ? 1 : 0) != 0;
  if (!existed) {
    // Only what the product made goes: a key in which another program left
    // a value or a subkey stays, without the product's default value.
    if (entry != nullptr) {
      RemoveOwnNewFileValues(HKEY_CLASSES_ROOT, keys.newFile, *entry);
      DelRegKeyIfEmpty(HKEY_CLASSES_ROOT, keys.newFile);
    }
    DelRegValue(HKEY_CLASSES_ROOT, extension, "");
    DelRegKeyIfEmpty(HKEY_CLASSES_ROOT, extension);
    return;
  }
  char formerType[kTypeSize];
  char formerContent[kTypeSize];
  bool hadType = GetRegString(keys.saved, "Type", sizeof formerType, "", formerType);
  if (IsOwnProgramId(formerType)) formerType[0] = '\0';
  GetRegString(keys.saved, "Content", sizeof formerContent, "", formerContent);
  if (formerContent[0] != '\0') {
    SetRegString(HKEY_CLASSES_ROOT, extension, "Content Type", formerContent);
  } else {
    DelRegValue(HKEY_CLASSES_ROOT, extension, "Content Type");
  }
  RestoreNewFileEntry(keys, entry);
  // The default value last: while a refused write leaves it naming the
  // product, the saved state is kept for a later release. Without a saved
  // key at all it is emptied.
  if (hadType || !RegKeyPresent(HKEY_CURRENT_USER, keys.saved)) {
    SetRegString(HKEY_CLASSES_ROOT, extension, "", formerType);
  } else {
    DelRegValue(HKEY_CLASSES_ROOT, extension, "");
  }
}

void Release(const char* extension, bool isZip, bool isOrv, const ExtensionKeys& keys) {
  // Volumes still naming the product's id go even when ".orv" belongs to
  // another program now: that id is about to be removed.
  if (isOrv) ReleaseVolumes();
  const ArchiveTemplate* entry = TemplateOf(isZip, isOrv);
  if (IsOwnAssociation(extension)) {
    GiveBack(extension, keys, entry, true);
    return;
  }
  // Another program has taken the extension since: it keeps it. Where it
  // set only the default value, the product's new-file entry is still
  // there, naming a template the uninstall deletes, in place of the one
  // it replaced.
  if (entry != nullptr && HoldsOwnNewFileValues(HKEY_CLASSES_ROOT, keys.newFile, *entry)) {
    RestoreNewFileEntry(keys, entry);
  }
}

// ".rev" is saved and taken over the way an archive extension is, with no
// new-file entry and no volumes.
void TakeOverRecoveryExtension() {
  ExtensionKeys keys;
  if (!MakeExtensionKeys(kRecoveryExtension, keys)) return;
  if (!NamesRecoveryId() && !SaveFormerState(kRecoveryExtension, keys, nullptr)) return;
  SetRegString(HKEY_CLASSES_ROOT, kRecoveryExtension, "", kRecoveryProgramId);
  DelRegValue(HKEY_CLASSES_ROOT, kRecoveryExtension, "Content Type");
}

// Writes one program id: description, open command, icon. False, with
// nothing more written, when the description was the setup's first write
// and was refused with status 5: the setup lacks the rights to integrate.
bool RegisterProgramId(const ProgramId& id, const char* archiver, bool firstWrite) {
  LONG status = SetRegString(HKEY_CLASSES_ROOT, id.name, "", MessageText(id.description));
  if (firstWrite && status == ERROR_ACCESS_DENIED) return false;

  // Without the whole archiver path no command or icon is written: a cut
  // path would name another program.
  if (archiver[0] == '\0') return true;
  char key[kRegPathSize];
  char command[kCommandSize];
  if (FormatText(command, sizeof command, "\"%s\" \"%%1\"", archiver) &&
      FormatText(key, sizeof key, "%s\\shell\\open\\command", id.name)) {
    SetRegString(HKEY_CLASSES_ROOT, key, "", command);
  }
  char icon[kIconSize];
  if (FormatText(key, sizeof key, "%s\\DefaultIcon", id.name) &&
      FormatText(icon, sizeof icon, "%s,%d", archiver, id.icon)) {
    // An icon already there stays, unless it is a stale one of ours.
    char current[kPathSize];
    GetRegString(HKEY_CLASSES_ROOT, key, "", sizeof current, "", current);
    if (current[0] == '\0' || IsStaleArchiverIcon(current)) {
      SetRegString(HKEY_CLASSES_ROOT, key, "", icon);
    }
  }
  return true;
}

}  // namespace

void SetAssociations(const IntegrationSettings& settings) {
  for (std::size_t row = 0; row < kArchiveTypeCount; ++row) {
    const TypeAssociation& type = kTypeAssociations[row];
    bool isZip = type.programId == kZipProgramId;
    // The row's extensions run together: each begins at a "." after the
    // first character.
    for (const char* rest = kArchiveTypes[row].extensions; *rest != '\0';) {
      const char* next = std::strchr(rest + 1, '.');
      std::size_t length =
          next != nullptr ? static_cast<std::size_t>(next - rest) : std::strlen(rest);
      char extension[kExtensionSize];
      CopyText(extension, rest);
      if (length < sizeof extension) {
        extension[length] = '\0';
        AssociateExtension(extension, settings.TypeFlags[row] != 0, settings.ShellExt != 0, isZip,
                           type.isOrv);
      }
      rest += length;
    }
  }
}

void AssociateExtension(const char* extension, bool associate, bool shell, bool isZip, bool isOrv) {
  ExtensionKeys keys;
  if (!MakeExtensionKeys(extension, keys)) return;
  if (associate) {
    TakeOver(extension, shell, isZip, isOrv, keys);
  } else {
    Release(extension, isZip, isOrv, keys);
  }
}

bool IsOwnAssociation(const char* extension) {
  char current[kOwnTestSize];
  GetRegString(HKEY_CLASSES_ROOT, extension, "", sizeof current, "", current);
  return IsOwnProgramId(current);
}

bool RegisterProgramIds() {
  char archiver[kPathSize];
  PathBesideProgram(kArchiverFileName, archiver, sizeof archiver);
  for (const ProgramId& id : kProgramIds) {
    if (id.extension != nullptr) TakeOverRecoveryExtension();
    if (!RegisterProgramId(id, archiver, &id == &kProgramIds[0])) return false;
  }
  NotifyAssociationsChanged(false);
  return true;
}

void ReleaseRecoveryExtension() {
  ExtensionKeys keys;
  if (!NamesRecoveryId() || !MakeExtensionKeys(kRecoveryExtension, keys)) return;
  // Setups before ".rev" was saved left no record: nothing was there then
  // that could be given back.
  GiveBack(kRecoveryExtension, keys, nullptr, false);
}

bool NeedsSavedOwner(const char* extension) {
  if (extension[0] != '.') return false;
  if (CompareNames(extension, kRecoveryExtension) == 0) return NamesRecoveryId();
  return IsOwnAssociation(extension);
}
