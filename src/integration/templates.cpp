#include "integration/templates.h"

#include <windows.h>

#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace {

// Not const: the first byte of each image is set just before use, so that
// the program file holds no whole signature (a constant image could be
// folded back into one by the compiler).

// Signature "Orv!" 1A 07 00, then a 13-byte archive header: check value
// CF 90, type 73, flags 00 00, size 0D 00, six reserved zero bytes.
unsigned char orvImage[kOrvTemplateSize] = {
    0x00, 0x72, 0x76, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
    0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};
constexpr unsigned char kOrvFirstByte = 0x4F;  // 'O'

// A ZIP end-of-central-directory record of an archive without entries.
unsigned char zipImage[kZipTemplateSize] = {
    0x00,
    0x4B,
    0x05,
    0x06,
};
constexpr unsigned char kZipFirstByte = 0x50;  // 'P'

// Windows Me (4.90) and 2000 (5.0) were the first to take a template file.
bool TakesTemplateFile() {
  OsVersionInfo version = OsVersion();
  return version.Major > 4 || version.Minor > 10;
}

}  // namespace

const unsigned char* TemplateImage(ArchiveTemplate which, std::size_t* size) {
  if (which == ArchiveTemplate::Orv) {
    orvImage[0] = kOrvFirstByte;
    *size = sizeof orvImage;
    return orvImage;
  }
  zipImage[0] = kZipFirstByte;
  *size = sizeof zipImage;
  return zipImage;
}

const char* TemplateFileName(ArchiveTemplate which) {
  return which == ArchiveTemplate::Orv ? "orvnew.dat" : "zipnew.dat";
}

bool IsOwnTemplateFile(const char* path, ArchiveTemplate which) {
  char own[kPathSize];
  return path[0] != '\0' && PathBesideProgram(TemplateFileName(which), own, sizeof own) &&
         CompareNames(path, own) == 0;
}

void WriteNewFileEntry(const char* newFileKey, ArchiveTemplate which, bool formerOwnerSaved) {
  // A key that holds the product's entry is the product's: values other
  // programs added to it since stay. Only a former owner's values, saved
  // just now, all go; the key itself stays, since deleting it would take
  // another program's subkeys with it on the 9x family.
  if (formerOwnerSaved && !HoldsOwnNewFileValues(HKEY_CLASSES_ROOT, newFileKey, which)) {
    DelRegValues(HKEY_CLASSES_ROOT, newFileKey);
  } else {
    RemoveOwnNewFileValues(HKEY_CLASSES_ROOT, newFileKey, which);
  }
  std::size_t size = 0;
  if (!TakesTemplateFile()) {
    const unsigned char* image = TemplateImage(which, &size);
    SetRegBytes(HKEY_CLASSES_ROOT, newFileKey, "Data", size, image);
    return;
  }
  char path[kPathSize];
  // A cut path would name another file: no entry then.
  if (!PathBesideProgram(TemplateFileName(which), path, sizeof path)) return;
  if (!PathExists(path)) {
    const unsigned char* image = TemplateImage(which, &size);
    WriteWholeFile(path, image, size);
  }
  SetRegString(HKEY_CLASSES_ROOT, newFileKey, "FileName", path);
}

namespace {

bool HoldsOwnFileName(HKEY root, const char* newFileKey, ArchiveTemplate which) {
  char current[kPathSize];
  return GetRegString(root, newFileKey, "FileName", sizeof current, "", current) &&
         IsOwnTemplateFile(current, which);
}

bool HoldsOwnImage(HKEY root, const char* newFileKey, ArchiveTemplate which) {
  std::size_t size = 0;
  const unsigned char* image = TemplateImage(which, &size);
  return RegValueEquals(root, newFileKey, "Data", REG_BINARY, image, size);
}

}  // namespace

bool HoldsOwnNewFileValues(HKEY root, const char* newFileKey, ArchiveTemplate which) {
  return HoldsOwnFileName(root, newFileKey, which) || HoldsOwnImage(root, newFileKey, which);
}

void RemoveOwnNewFileValues(HKEY root, const char* newFileKey, ArchiveTemplate which) {
  if (HoldsOwnFileName(root, newFileKey, which)) DelRegValue(root, newFileKey, "FileName");
  if (HoldsOwnImage(root, newFileKey, which)) DelRegValue(root, newFileKey, "Data");
}

void RemoveOwnNewFileValues(const char* newFileKey, ArchiveTemplate which) {
  RemoveOwnNewFileValues(HKEY_CLASSES_ROOT, newFileKey, which);
}
