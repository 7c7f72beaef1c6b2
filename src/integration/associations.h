// File associations of the archive types, the saved former owners of the
// extensions, and the archiver's program ids.
//
// An extension is the product's own while its default value under
// HKEY_CLASSES_ROOT names "Korvik" or "Korvik.ZIP". The first time an
// extension is taken over, what it pointed to before is saved below the
// product key in "Setup\<extension>" ("Exist", "Type", "Content",
// "ShellNew", and the former new-file entry's values in the subkey
// "ShellNew"); a release puts that back. ".rev", which the program ids
// point at "Korvik.REV", is saved and given back the same way. A saved
// state is replaced only by the next step from foreign to own, and goes
// with the product key.
#pragma once

#include "integration/settings.h"

// Takes over every extension of each archive type whose flag is on and
// releases every extension of each type whose flag is off. Reads only
// TypeFlags[0] to [13] and ShellExt (the new-file entries of ".orv" and
// ".zip"). An all-zero record releases everything the product owns.
void SetAssociations(const IntegrationSettings& settings);

// Takes one extension (".zip") over or releases it. isZip points it at
// "Korvik.ZIP" and gives it the ZIP template; isOrv gives it the volume
// extensions ".o00" onwards and the product's own template. The new-file
// entry is written only when shell is on. A release touches only what the
// product still owns.
void AssociateExtension(const char* extension, bool associate, bool shell, bool isZip, bool isOrv);

// True when the extension's default value under HKEY_CLASSES_ROOT names
// "Korvik" or "Korvik.ZIP", without regard to case.
bool IsOwnAssociation(const char* extension);

// Registers the program ids "Korvik", "Korvik.ZIP" and "Korvik.REV" with
// their descriptions, open commands and icons (an icon already there
// stays), points ".rev" at "Korvik.REV" (its former state saved first) and
// tells the shell. False, with nothing written, when the first write is
// refused with status 5 (access denied); true otherwise, whatever else
// failed.
bool RegisterProgramIds();

// Gives ".rev" back to what it was before setup first pointed it at
// "Korvik.REV", while it still does. The saved key must still exist.
void ReleaseRecoveryExtension();

// True while the extension (".rev" included) is still the product's, after a
// release that could not write: its saved key must then outlive the
// uninstall, so that a later one gives the former owner back.
bool NeedsSavedOwner(const char* extension);
