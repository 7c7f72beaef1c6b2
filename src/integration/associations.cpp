#include "integration/associations.h"

#include <windows.h>

#include <cstring>

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
constexpr char kArchiverName[] = "Korvik.exe";

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
  UINT description;         // string id
  int icon;                 // index in the archiver
  const char* extension;    // pointed at this id first, or null
};

constexpr ProgramId kProgramIds[] = {
    {kArchiveProgramId, IDS_ARCHIVE_TYPE_NAME, 0, nullptr},
    {kZipProgramId, IDS_ZIP_TYPE_NAME, 0, nullptr},
    {kRecoveryProgramId, IDS_RECOVERY_TYPE_NAME, 1, ".rev"},
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
  return SameIdIgnoringCase(FileNamePart(file), kArchiverName) && !PathExists(file);
}

bool VolumeName(int number, char* name, std::size_t size) {
  return FormatText(name, size, ".o%02d", number);
}

void SaveFormerState(const char* extension, const char* newFileKey, const char* savedKey) {
  char formerType[kTypeSize];
  char formerContent[kTypeSize];
  char formerTemplate[kPathSize];
  char nullFile[kNullFileSize];
  GetRegString(HKEY_CLASSES_ROOT, extension, "", sizeof formerType, "", formerType);
  GetRegString(HKEY_CLASSES_ROOT, extension, "Content Type", sizeof formerContent, "",
               formerContent);
  GetRegString(HKEY_CLASSES_ROOT, newFileKey, "FileName", sizeof formerTemplate, "",
               formerTemplate);
  bool hadNullFile =
      GetRegString(HKEY_CLASSES_ROOT, newFileKey, "NullFile", sizeof nullFile, "", nullFile);

  SetRegNumber(savedKey, "Exist", RegKeyPresent(HKEY_CLASSES_ROOT, extension) ? 1 : 0);
  SetRegString(savedKey, "Type", formerType);
  SetRegString(savedKey, "Content", formerContent);
  SetRegString(savedKey, "ShellNew",
               formerTemplate[0] == '\0' && hadNullFile ? kNullFileMark : formerTemplate);
}

void TakeOver(const char* extension, bool shell, bool isZip, bool isOrv,
              const char* newFileKey, const char* savedKey) {
  // Only the step from foreign to own saves: repeated setup runs keep the
  // state from before the first.
  if (!IsOwnAssociation(extension)) SaveFormerState(extension, newFileKey, savedKey);

  SetRegString(HKEY_CLASSES_ROOT, extension, "", isZip ? kZipProgramId : kArchiveProgramId);
  DelRegValue(HKEY_CLASSES_ROOT, extension, "Content Type");

  if (isOrv) {
    int count = NtMajorVersion() != 0 ? kVolumesNt : kVolumes9x;
    for (int number = 0; number < count; ++number) {
      char volume[kVolumeNameSize];
      if (!VolumeName(number, volume, sizeof volume)) continue;
      SetRegString(HKEY_CLASSES_ROOT, volume, "", kArchiveProgramId);
      DelRegValue(HKEY_CLASSES_ROOT, volume, "Content Type");
    }
  }

  if (shell && (isZip || isOrv)) {
    WriteNewFileEntry(newFileKey, isOrv ? ArchiveTemplate::Orv : ArchiveTemplate::Zip);
  }
}

// Gives the volume extensions back along with ".orv". Only those that still
// name the archive program id are touched: the others belong to another
// program now, or never were the product's (the NT family takes over only
// the first 30, but a release looks at all 100).
void ReleaseVolumes(bool existed, const char* formerType, const char* formerContent) {
  for (int number = 0; number < kVolumesAll; ++number) {
    char volume[kVolumeNameSize];
    if (!VolumeName(number, volume, sizeof volume)) continue;
    char current[kOwnTestSize];
    GetRegString(HKEY_CLASSES_ROOT, volume, "", sizeof current, "", current);
    if (!SameIdIgnoringCase(current, kArchiveProgramId)) continue;
    if (existed && formerType[0] != '\0') {
      SetRegString(HKEY_CLASSES_ROOT, volume, "", formerType);
      if (formerContent[0] != '\0') {
        SetRegString(HKEY_CLASSES_ROOT, volume, "Content Type", formerContent);
      }
    } else {
      // A key that keeps subkeys of another program's stays, and must not
      // point at a program id that the uninstall removes.
      SetRegString(HKEY_CLASSES_ROOT, volume, "", "");
      DelRegKey(HKEY_CLASSES_ROOT, volume);
    }
  }
}

void Release(const char* extension, bool isOrv, const char* newFileKey, const char* savedKey) {
  // An extension that another program has taken since is left alone, and
  // its volume extensions with it.
  if (!IsOwnAssociation(extension)) return;

  bool existed = GetRegNumber(savedKey, "Exist", 1) != 0;
  char formerType[kTypeSize];
  char formerContent[kTypeSize];
  GetRegString(savedKey, "Type", sizeof formerType, "", formerType);
  if (IsOwnProgramId(formerType)) formerType[0] = '\0';
  GetRegString(savedKey, "Content", sizeof formerContent, "", formerContent);

  if (existed) {
    SetRegString(HKEY_CLASSES_ROOT, extension, "", formerType);
    if (formerContent[0] != '\0') {
      SetRegString(HKEY_CLASSES_ROOT, extension, "Content Type", formerContent);
    } else {
      DelRegValue(HKEY_CLASSES_ROOT, extension, "Content Type");
    }
    char formerTemplate[kPathSize];
    GetRegString(savedKey, "ShellNew", sizeof formerTemplate, "", formerTemplate);
    DelRegValue(HKEY_CLASSES_ROOT, newFileKey, "FileName");
    if (formerTemplate[0] == kNullFileMark[0]) {
      SetRegString(HKEY_CLASSES_ROOT, newFileKey, "NullFile", "");
    } else if (formerTemplate[0] != '\0') {
      SetRegString(HKEY_CLASSES_ROOT, newFileKey, "FileName", formerTemplate);
    }
  } else {
    // The key goes only when nothing else lies below it; otherwise it stays
    // with an empty default value.
    DelRegKey(HKEY_CLASSES_ROOT, newFileKey);
    SetRegString(HKEY_CLASSES_ROOT, extension, "", "");
    DelRegKey(HKEY_CLASSES_ROOT, extension);
  }

  if (isOrv) ReleaseVolumes(existed, formerType, formerContent);
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
      std::size_t length = next != nullptr ? static_cast<std::size_t>(next - rest)
                                           : std::strlen(rest);
      char extension[kExtensionSize];
      CopyText(extension, rest);
      if (length < sizeof extension) {
        extension[length] = '\0';
        AssociateExtension(extension, settings.TypeFlags[row] != 0, settings.ShellExt != 0,
                           isZip, type.isOrv);
      }
      rest += length;
    }
  }
}

void AssociateExtension(const char* extension, bool associate, bool shell, bool isZip,
                        bool isOrv) {
  char newFileKey[kRegPathSize];
  char savedKey[kRegPathSize];
  // A cut name would be another extension's key.
  if (!FormatText(newFileKey, sizeof newFileKey, "%s\\ShellNew", extension) ||
      !FormatText(savedKey, sizeof savedKey, "Setup\\%s", extension)) {
    return;
  }
  if (associate) {
    TakeOver(extension, shell, isZip, isOrv, newFileKey, savedKey);
  } else {
    Release(extension, isOrv, newFileKey, savedKey);
  }
}

bool IsOwnAssociation(const char* extension) {
  char current[kOwnTestSize];
  GetRegString(HKEY_CLASSES_ROOT, extension, "", sizeof current, "", current);
  return IsOwnProgramId(current);
}

bool RegisterProgramIds() {
  char archiver[kPathSize];
  PathBesideProgram(kArchiverName, archiver, sizeof archiver);
  for (const ProgramId& id : kProgramIds) {
    if (id.extension != nullptr) SetRegString(HKEY_CLASSES_ROOT, id.extension, "", id.name);
    if (!RegisterProgramId(id, archiver, &id == &kProgramIds[0])) return false;
  }
  NotifyAssociationsChanged(false);
  return true;
}
