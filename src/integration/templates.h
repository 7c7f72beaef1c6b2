// The empty-archive templates behind the Explorer's new-file menu entries
// for the product's own format and for ZIP.
#pragma once

#include <windows.h>

#include <cstddef>

enum class ArchiveTemplate { Orv, Zip };

constexpr std::size_t kOrvTemplateSize = 20;
constexpr std::size_t kZipTemplateSize = 22;

// The complete image of the template and its size. The program's data holds
// each image with its first byte zero, so that the program file carries no
// whole signature of either format; this sets that byte on every call. The
// bytes stay valid until the program ends.
const unsigned char* TemplateImage(ArchiveTemplate which, std::size_t* size);

// "orvnew.dat" or "zipnew.dat": the template file in the program's folder.
const char* TemplateFileName(ArchiveTemplate which);

// True when path names this template's file beside the program (without
// regard to letter case).
bool IsOwnTemplateFile(const char* path, ArchiveTemplate which);

// Writes the new-file entry of one extension into the key newFileKey under
// HKEY_CLASSES_ROOT. When formerOwnerSaved (the caller has just saved the
// key's values as a former owner's) and the key does not hold the product's
// own values, every value goes first; otherwise only the product's own go,
// so that values other programs added stay. The key and any subkeys stay.
// Windows Me, 2000 and later take a template file: it is created beside the
// program when no file lies there yet (an existing one is never rewritten, a
// file that cannot be made is passed over) and named in "FileName". Windows
// 95, 98 and NT 4.0 take the image itself in "Data".
void WriteNewFileEntry(const char* newFileKey, ArchiveTemplate which, bool formerOwnerSaved);

// True when the key (under root; HKEY_CURRENT_USER relative to the product
// key) holds what WriteNewFileEntry writes: "FileName" naming this template
// beside the program, or "Data" holding this template's image.
bool HoldsOwnNewFileValues(HKEY root, const char* newFileKey, ArchiveTemplate which);

// Deletes from the key those values and nothing else. The key itself stays.
void RemoveOwnNewFileValues(HKEY root, const char* newFileKey, ArchiveTemplate which);
// The same under HKEY_CLASSES_ROOT.
void RemoveOwnNewFileValues(const char* newFileKey, ArchiveTemplate which);
