#!/usr/bin/python3
"""Prints what a built uninstall.exe is: size, machine, subsystem, the DLLs
it imports, its resources and manifest. Fails when it imports anything but
the system's own DLLs, when a resource the program relies on is missing, or
when it is larger than SIZE_LIMIT.

Usage: check_binary.py PATH_TO_UNINSTALL_EXE
"""
import sys

import pefile

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "ole32.dll", "oleaut32.dll", "comctl32.dll", "msvcrt.dll", "shlwapi.dll",
}
SIZE_LIMIT = 96 * 1024  # bytes


def resource_names(pe):
    names = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind_name = str(kind.name) if kind.name else pefile.RESOURCE_TYPE.get(kind.id, kind.id)
        names[kind_name] = [str(e.name) if e.name else e.id for e in kind.directory.entries]
    return names


def manifest(pe):
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            leaf = kind.directory.entries[0].directory.entries[0].data.struct
            return pe.get_data(leaf.OffsetToData, leaf.Size).decode("utf-8")
    return ""


def main():
    path = sys.argv[1]
    pe = pefile.PE(path)
    size = len(pe.__data__)
    machine = pefile.MACHINE_TYPE.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
    subsystem = pefile.SUBSYSTEM_TYPE.get(pe.OPTIONAL_HEADER.Subsystem, pe.OPTIONAL_HEADER.Subsystem)
    imports = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    resources = resource_names(pe)
    text = manifest(pe)

    print(f"{path}")
    print(f"  size:      {size} bytes ({size / 1024:.1f} KiB; limit {SIZE_LIMIT} bytes)")
    print(f"  machine:   {machine}, {subsystem}")
    print(f"  imports:   {', '.join(imports)}")
    print(f"  icons:     {', '.join(map(str, resources.get('RT_GROUP_ICON', [])))}")
    print(f"  strings:   {len(resources.get('RT_STRING', []))} string table block(s)")
    print(f"  dialogs:   {', '.join(map(str, resources.get('RT_DIALOG', []))) or '(none)'}")

    problems = []
    foreign = [d for d in imports if d not in SYSTEM_DLLS]
    if foreign:
        problems.append(f"imports DLLs that are not the system's: {', '.join(foreign)}")
    if machine != "IMAGE_FILE_MACHINE_I386" or subsystem != "IMAGE_SUBSYSTEM_WINDOWS_GUI":
        problems.append("not a 32-bit GUI program")
    icons = resources.get("RT_GROUP_ICON", [])
    if icons[:1] != ["DELICON"] or "ORVICON" not in icons:
        problems.append("DELICON must be the first icon group, and ORVICON must be there")
    if 'level="requireAdministrator"' not in text or "Microsoft.Windows.Common-Controls" not in text:
        problems.append("manifest lacks the administrator level or the common controls 6")
    if "RT_VERSION" not in resources:
        problems.append("no version resource")
    if size > SIZE_LIMIT:
        problems.append(f"{size} bytes, over the limit of {SIZE_LIMIT}")
    for p in problems:
        print(f"  PROBLEM:   {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
