#!/usr/bin/env python3
"""The house rules that a reader of the source relies on, checked.

    house_rules.py SOURCE_ROOT [CLANG_FORMAT]

- Rooms: a file of src/ includes only its own room, rooms below it and the
  resource headers. platform/ is the floor; installation/ and localization/
  stand on it; integration/ on those; uninstall/ on integration/; startup/
  on everything; resources/ on nothing. A file outside the rooms is a breach.
- No function of src/ is longer than 60 lines (its body, braces excluded).
- clang-format, with the repository's .clang-format, changes nothing in src/
  or tests/.

Prints one line per breach and ends with 1 when there is any. A root whose
src/ holds no source file, or a clang-format that fails, is a breach too.
"""
import pathlib
import posixpath
import re
import shutil
import subprocess
import sys

# The rooms each room may include besides itself and resources/.
ALLOWED = {
    "platform": set(),
    "installation": {"platform"},
    "localization": {"platform"},
    "integration": {"platform", "installation", "localization"},
    "uninstall": {"platform", "installation", "localization", "integration"},
    "startup": {"platform", "installation", "localization", "integration", "uninstall"},
    "resources": set(),
}
MAX_FUNCTION_LINES = 60
SOURCE_SUFFIXES = {".c", ".cc", ".cpp", ".cxx", ".h", ".hh", ".hpp", ".inl"}
# Resource scripts include headers too.
INCLUDING_SUFFIXES = SOURCE_SUFFIXES | {".rc"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]*)[>"]')
CONTROL = re.compile(r"^(if|for|while|switch|catch|do|else|return|namespace|class|struct|enum|union)\b")
# The end of a function's header: its parameters, then qualifiers and a
# trailing return type.
HEADER_END = re.compile(r"\)\s*((const|volatile|mutable|noexcept|override|final|&&?)\s*)*"
                        r"(->\s*[\w:<>*&,\s]+)?$")
# A constructor's header up to its member initialisers.
INITIALISERS = re.compile(r"\)\s*:(?!:)")
RAW_STRING = re.compile(r'R"([^()\\\s]{0,16})\(')


def source_files(folder, suffixes=SOURCE_SUFFIXES):
    return sorted(p for p in folder.rglob("*") if p.suffix in suffixes and p.is_file())


def included_room(src, path, bracket, name):
    """The first folder of src/ that an include of a file of src/ names: a
    room, another folder, or ".." for outside src/. None for a file beside
    the including one and for a system header."""
    if "/" not in name:
        return None
    # A quoted name is looked up beside the including file first, then in
    # src/, which is on the include path.
    if bracket == '"' and (name.startswith(".") or (path.parent / name).exists()):
        name = posixpath.join(path.parent.relative_to(src).as_posix(), name)
    first = posixpath.normpath(name).split("/")[0]
    return None if bracket == "<" and first not in ALLOWED else first


def room_breaches(src):
    breaches = []
    for path in source_files(src, INCLUDING_SUFFIXES):
        parts = path.relative_to(src).parts
        room = parts[0] if len(parts) > 1 else None
        if room not in ALLOWED:
            breaches.append(f"{path}: in none of the rooms of src/ ({', '.join(ALLOWED)})")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            target = match and included_room(src, path, match.group(1), match.group(2))
            if not target or target in (room, "resources") or target in ALLOWED[room]:
                continue
            breaches.append(f"{path}:{number}: {room}/ includes {target}/")
    return breaches


def code_only(text):
    """The text with comments, string and character literals blanked out, lines kept."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
        elif c == "R" and literal_prefix(text, i) in ("", "u8", "u", "U", "L") and \
                RAW_STRING.match(text, i):
            # R"delimiter( ... )delimiter": quotes and new lines inside.
            delimiter = RAW_STRING.match(text, i)
            end = text.find(f'){delimiter.group(1)}"', delimiter.end())
            end = n if end < 0 else end + len(delimiter.group(1)) + 2
            out.append('R""' + "\n" * text.count("\n", i, end))
            i = end
        elif c == "'" and literal_prefix(text, i)[:1].isdigit():
            # A digit separator (1'000), not a character literal.
            out.append(c)
            i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def literal_prefix(text, i):
    """The word or number that ends just before text[i]."""
    start = i
    while start > 0 and (text[start - 1].isalnum() or text[start - 1] in "_'."):
        start -= 1
    return text[start:i]


def opens_function(header):
    if CONTROL.match(header) or "(" not in header:
        return False
    return bool(HEADER_END.search(header) or (INITIALISERS.search(header) and header.endswith("}")))


def in_header(header):
    """Whether a brace stands inside a function's header: in a braced
    argument or default, or a member's initialiser."""
    return header.count("(") > header.count(")") or bool(
        INITIALISERS.search(header) and re.search(r"[\w>]$", header))


def long_functions(src):
    breaches = []
    for path in source_files(src):
        code = code_only(path.read_text(errors="replace"))
        line, statement = 1, ""
        # Per open brace: the line of a function's brace, the header a brace
        # inside a header interrupts, or None.
        stack = []
        for c in code:
            if c == "\n":
                line += 1
                statement += " "
            elif c == "{":
                header = " ".join(statement.split())
                in_function = any(isinstance(entry, int) for entry in stack)
                if not in_function and opens_function(header):
                    stack.append(line)
                else:
                    stack.append(header if not in_function and in_header(header) else None)
                statement = ""
            elif c == "}":
                start = stack.pop() if stack else None
                if isinstance(start, int) and line - start - 1 > MAX_FUNCTION_LINES:
                    breaches.append(f"{path}:{start}: a function of {line - start - 1} lines "
                                    f"(at most {MAX_FUNCTION_LINES})")
                statement = start + "{}" if isinstance(start, str) else ""
            elif c == ";":
                statement = ""
            else:
                statement += c
    return breaches


def format_breaches(root, clang_format):
    files = [str(p) for folder in ("src", "tests") for p in source_files(root / folder)]
    if not files:
        return []
    try:
        result = subprocess.run(
            [clang_format, "--dry-run", f"--style=file:{root / '.clang-format'}"] + files,
            capture_output=True, text=True)
    except OSError as error:
        return [f"{clang_format}: {error.strerror}: the format rule was not checked"]
    seen = []
    for line in result.stderr.splitlines():
        match = re.match(r"^(.+?):(\d+):\d+: (warning|error): code should be clang-formatted", line)
        if match and match.group(1) not in seen:
            seen.append(match.group(1))
    breaches = [f"{name}: not as clang-format writes it (clang-format -i {name})" for name in seen]
    # --dry-run ends with 0 on layout differences: anything else is clang-format
    # failing, and a failing formatter must not read as a clean tree.
    if result.returncode != 0:
        last = (result.stderr.strip().splitlines() or ["no message"])[-1]
        breaches.append(f"clang-format ended with {result.returncode} ({last}): "
                        "the format rule was not checked")
    return breaches


def main(argv=None, out=None):
    argv = sys.argv[1:] if argv is None else argv
    root = pathlib.Path(argv[0]).resolve()
    clang_format = argv[1] if len(argv) > 1 else (shutil.which("clang-format") or "")
    # A wrong root, or a filter that passes no file, would otherwise read as clean.
    breaches = [] if source_files(root / "src") else [f"{root / 'src'}: no source files to check"]
    breaches += room_breaches(root / "src") + long_functions(root / "src")
    if clang_format:
        breaches += format_breaches(root, clang_format)
    else:
        breaches.append("clang-format not found: the format rule was not checked")
    for breach in breaches:
        print(breach, file=out)
    print(f"house rules: {len(breaches)} breach(es)", file=out)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
