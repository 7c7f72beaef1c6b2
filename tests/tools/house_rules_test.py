#!/usr/bin/env python3
"""tools/house_rules.py run on small trees written here, one table row each:
a clean tree passes, and a tree with one rule broken fails and names where.

    house_rules_test.py [HOUSE_RULES_PY]
"""
import importlib.util
import io
import os
import pathlib
import subprocess
import sys
import tempfile
import textwrap
import unittest
from concurrent.futures import ThreadPoolExecutor
from typing import NamedTuple

ROOT = pathlib.Path(__file__).resolve().parents[2]
CHECKER = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "tools" / "house_rules.py"


def code(text):
    return textwrap.dedent(text).lstrip("\n")


def function(name, body_lines, first_lines=(), header=None, indent="", end="}"):
    """A function whose body, braces excluded, is body_lines lines long."""
    first = [f"  {line}" for line in first_lines]
    filler = ["  total += 1;"] * (body_lines - len(first) - 2)
    body = first + ["  int total = 0;"] + filler + ["  return total;"]
    lines = [header or f"int {name}() {{"] + body + [end]
    return "".join(f"{indent}{line}\n" for line in lines)


def two_includes(first, second):
    return code(f"""
        #include "{first}"
        #include "{second}"

        int Answer() {{ return 42; }}
        """)


def including(line):
    return code(f"""
        {line}

        int Answer() {{ return 42; }}
        """)


# Every room includes itself, the rooms below it and resources/.
CLEAN = {
    "src/platform/file.h": code("""
        #pragma once

        #include "resources/resource.h"

        int ReadSome();
        """),
    "src/platform/file.cpp": code("""
        #include "platform/file.h"

        #include <sys/stat.h>
        #include <windows.h>

        int ReadSome() { return IDS_TITLE; }
        """),
    "src/installation/installation.cpp": two_includes("installation/installation.h",
                                                      "platform/file.h"),
    "src/localization/messages.cpp": two_includes("localization/messages.h", "platform/file.h"),
    "src/integration/apply.cpp": code("""
        #include "integration/apply.h"

        #include "installation/installation.h"
        #include "localization/messages.h"
        #include "platform/file.h"

        int Apply() {
          const char* text = "{";
          return text[0];  // }
        }
        """),
    "src/uninstall/run.cpp": code("""
        #include "uninstall/run.h"

        #include "integration/apply.h"
        #include "resources/resource.h"
        """),
    "src/startup/entry.cpp": code("""
        #include "startup/entry.h"

        #include "installation/installation.h"
        #include "integration/apply.h"
        #include "localization/messages.h"
        #include "platform/file.h"
        #include "resources/resource.h"
        #include "uninstall/run.h"
        """),
    "src/resources/resource.h": "#define IDS_TITLE 100\n",
    "src/resources/uninstall.rc": code("""
        #include <windows.h>
        #include "resources/resource.h"
        #include "dialogs.rc"
        """),
    "tests/platform/file_test.cpp": two_includes("platform/file.h", "support/test_support.h"),
}

# A long function's braces, not its body, hidden in literals and comments.
BRACES_IN_LITERALS = ('const char* open = "{";  // }', "char close = '}';", "/* { */",
                      'const char* both = "}{";', "// {")

ONE = "house rules: 1 breach(es)"


class Case(NamedTuple):
    name: str
    files: dict  # besides CLEAN's; None leaves a file out
    exit: int
    texts: list  # each in the output
    clang_format: str = None  # the checker's own choice when None


CASES = [Case(*row) for row in [
    ("the clean tree", {}, 0, ["house rules: 0 breach(es)"]),
    ("a platform file including localization/", {
        "src/platform/bad.cpp": including('#include "localization/messages.h"'),
    }, 1, ["src/platform/bad.cpp:1: platform/ includes localization/", ONE]),
    ("a platform header including startup/ on its third line", {
        "src/platform/bad.h": code("""
            #pragma once

            #include "startup/entry.h"
            """),
    }, 1, ["src/platform/bad.h:3: platform/ includes startup/", ONE]),
    ("an installation file including localization/", {
        "src/installation/bad.cpp": including('#include "localization/messages.h"'),
    }, 1, ["src/installation/bad.cpp:1: installation/ includes localization/", ONE]),
    ("a localization file including integration/", {
        "src/localization/bad.cpp": including('#include "integration/apply.h"'),
    }, 1, ["src/localization/bad.cpp:1: localization/ includes integration/", ONE]),
    ("an integration file including uninstall/", {
        "src/integration/bad.cpp": two_includes("integration/apply.h", "uninstall/run.h"),
    }, 1, ["src/integration/bad.cpp:2: integration/ includes uninstall/", ONE]),
    ("an uninstall file including startup/", {
        "src/uninstall/bad.cpp": including('#include "startup/entry.h"'),
    }, 1, ["src/uninstall/bad.cpp:1: uninstall/ includes startup/", ONE]),
    ("an include spaced out, as clang-format would not write it", {
        "src/platform/bad.cpp": including('#  include   "uninstall/run.h"'),
    }, 1, ["src/platform/bad.cpp:1: platform/ includes uninstall/",
           "src/platform/bad.cpp: not as clang-format writes it", "house rules: 2 breach(es)"]),
    ("an include without a space, as clang-format would not write it", {
        "src/localization/bad.cpp": including('#include"startup/entry.h"'),
    }, 1, ["src/localization/bad.cpp:1: localization/ includes startup/",
           "src/localization/bad.cpp: not as clang-format writes it", "house rules: 2 breach(es)"]),
    ("an include in angle brackets", {
        "src/integration/bad.cpp": including("#include <uninstall/run.h>"),
    }, 1, ["src/integration/bad.cpp:1: integration/ includes uninstall/", ONE]),
    ("an include up and over", {
        "src/platform/bad.cpp": including('#include "../uninstall/run.h"'),
    }, 1, ["src/platform/bad.cpp:1: platform/ includes uninstall/", ONE]),
    ("an include through its own room", {
        "src/platform/bad.cpp": including('#include "platform/../startup/entry.h"'),
    }, 1, ["src/platform/bad.cpp:1: platform/ includes startup/", ONE]),
    ("an include out of src/", {
        "src/platform/bad.cpp": including('#include "../../tests/support/test_support.h"'),
    }, 1, ["src/platform/bad.cpp:1: platform/ includes ../", ONE]),
    ("includes up and over to a room below and of a folder beside", {
        "src/localization/relative.cpp": including('#include "../platform/file.h"'),
        "src/platform/detail/handle.h": "#pragma once\n",
        "src/platform/handle.cpp": including('#include "detail/handle.h"'),
    }, 0, ["house rules: 0 breach(es)"]),
    ("a resource header including integration/", {
        "src/resources/bad.h": including('#include "integration/apply.h"'),
    }, 1, ["src/resources/bad.h:1: resources/ includes integration/", ONE]),
    ("a resource script including integration/", {
        "src/resources/bad.rc": '#include "integration/settings.h"\n',
    }, 1, ["src/resources/bad.rc:1: resources/ includes integration/", ONE]),
    ("a C++ file of another suffix including localization/", {
        "src/platform/bad.cc": including('#include "localization/messages.h"'),
    }, 1, ["src/platform/bad.cc:1: platform/ includes localization/", ONE]),
    ("a source file in src/ itself", {
        "src/main.cpp": including('#include "startup/entry.h"'),
    }, 1, ["src/main.cpp: in none of the rooms of src/", ONE]),
    ("a source file in a folder that is no room", {
        "src/helpers/helper.cpp": including('#include "startup/entry.h"'),
    }, 1, ["src/helpers/helper.cpp: in none of the rooms of src/", ONE]),
    ("a function of 60 lines", {
        "src/uninstall/long.cpp": function("Sixty", 60),
    }, 0, ["house rules: 0 breach(es)"]),
    ("a function of 61 lines", {
        "src/uninstall/long.cpp": "// One line before.\n" + function("SixtyOne", 61),
    }, 1, ["src/uninstall/long.cpp:2: a function of 61 lines (at most 60)", ONE]),
    ("a function of 61 lines with braces in its literals and comments", {
        "src/platform/long.cpp": function("Braces", 61, BRACES_IN_LITERALS),
    }, 1, ["src/platform/long.cpp:1: a function of 61 lines", ONE]),
    ("a function of 60 lines with braces in its literals and comments", {
        "src/platform/long.cpp": function("Braces", 60, BRACES_IN_LITERALS),
    }, 0, ["house rules: 0 breach(es)"]),
    ("a 61-line function after one with an open brace in a string", {
        "src/platform/long.cpp": code("""
            const char* Open() { return "{"; }

            """) + function("Long", 61),
    }, 1, ["src/platform/long.cpp:3: a function of 61 lines", ONE]),
    ("a lambda of 61 lines inside a function of 65, one function", {
        "src/startup/long.cpp": function(
            "Outer", 65, ["auto inner = []() {"] + ["  int step = 1;"] * 60 + ["  return 0;", "};"]),
    }, 1, ["src/startup/long.cpp:1: a function of 65 lines", ONE]),
    ("a member function of 61 lines in its class", {
        "src/integration/long.h": code("""
            #pragma once

            class Counter {
             public:
            """) + function("Count", 61, header="int Count() const {", indent="  ") + "\n" + code("""
             private:
              int step_ = 1;
            };
            """),
    }, 1, ["src/integration/long.h:5: a function of 61 lines", ONE]),
    ("a constructor of 61 lines with an initialiser list", {
        "src/uninstall/long.cpp": function(
            "Counter", 61, header="Counter::Counter(int step) : step_(step), total_(0) {"),
    }, 1, ["src/uninstall/long.cpp:1: a function of 61 lines", ONE]),
    ("a constructor of 61 lines with members initialised in braces", {
        "src/uninstall/long.cpp": function(
            "Counter", 61, header="Counter::Counter(int step) : step_{step}, total_{0} {"),
    }, 1, ["src/uninstall/long.cpp:1: a function of 61 lines", ONE]),
    ("a constructor of 60 lines with members initialised in braces", {
        "src/uninstall/long.cpp": function(
            "Counter", 60, header="Counter::Counter(int step) : step_(step), total_{0} {"),
    }, 0, ["house rules: 0 breach(es)"]),
    ("a function of 61 lines with a braced default argument", {
        "src/uninstall/long.cpp": function(
            "Sum", 61, header="int Sum(const Options& options = Options{1, 2}) {"),
    }, 1, ["src/uninstall/long.cpp:1: a function of 61 lines", ONE]),
    ("a function of 61 lines returning a pair", {
        "src/uninstall/long.cpp": function("Pair", 61,
                                           header="auto Pair() -> std::pair<int, int> {"),
    }, 1, ["src/uninstall/long.cpp:1: a function of 61 lines", ONE]),
    ("a function of 61 lines for a left-hand object", {
        "src/uninstall/long.cpp": function("Count", 61, header="int Counter::Count() const& {"),
    }, 1, ["src/uninstall/long.cpp:1: a function of 61 lines", ONE]),
    ("a lambda of 61 lines that keeps its state", {
        "src/uninstall/long.cpp": function(
            "Count", 61, header="auto count = [total = 0]() mutable {", end="};"),
    }, 1, ["src/uninstall/long.cpp:1: a function of 61 lines", ONE]),
    ("a function of 61 lines with braces in raw strings", {
        "src/platform/long.cpp": function(
            "Raw", 61, ['const char* one = R"x(a "}" b)x";', 'const char* two = R"(', "}", ')";']),
    }, 1, ["src/platform/long.cpp:1: a function of 61 lines", ONE]),
    ("a function of 61 lines with a digit separator", {
        "src/platform/long.cpp": function("Digits", 61,
                                          ["if (total > 1'000) {", "  total = 0;", "}"]),
    }, 1, ["src/platform/long.cpp:1: a function of 61 lines", ONE]),
    ("a source file clang-format would change", {
        "src/platform/ugly.cpp": "int  Ugly( ) {return 1;}\n",
    }, 1, ["src/platform/ugly.cpp: not as clang-format writes it", ONE]),
    ("a header clang-format would change", {
        "src/localization/ugly.h": "#pragma once\nint Ugly(int a,int b);\n",
    }, 1, ["src/localization/ugly.h: not as clang-format writes it", ONE]),
    ("a test clang-format would change", {
        "tests/platform/ugly_test.cpp": "TEST(Ugly, Spaces){\n}\n",
    }, 1, ["tests/platform/ugly_test.cpp: not as clang-format writes it", ONE]),
    ("one breach of each rule", {
        "src/platform/bad.cpp": including('#include "uninstall/run.h"'),
        "src/startup/long.cpp": function("Long", 70),
        "tests/ugly_test.cpp": "int  Ugly();\n",
    }, 1, ["src/platform/bad.cpp:1: platform/ includes uninstall/",
           "src/startup/long.cpp:1: a function of 70 lines",
           "tests/ugly_test.cpp: not as clang-format writes it", "house rules: 3 breach(es)"]),
    ("a root without src/", {name: None for name in CLEAN if name.startswith("src/")}, 1,
     ["src: no source files to check", ONE]),
    ("a src/ of other files only", {
        **{name: None for name in CLEAN if name.startswith("src/")},
        "src/CMakeLists.txt": "add_library(core STATIC)\n",
        "src/resources/resource.rc": "1 ICON \"main.ico\"\n",
    }, 1, ["src: no source files to check", ONE]),
    ("a tree without .clang-format", {".clang-format": None}, 1,
     ["clang-format ended with 1", "the format rule was not checked", ONE]),
    ("a clang-format that fails", {}, 1,
     ["clang-format ended with 1 (no message): the format rule was not checked", ONE], "false"),
    ("a clang-format that is not there", {}, 1,
     ["/nonexistent/clang-format: ", "the format rule was not checked", ONE],
     "/nonexistent/clang-format"),
]]


def write_tree(folder, files):
    style = (ROOT / ".clang-format").read_text()
    for name, text in {".clang-format": style, **CLEAN, **files}.items():
        if text is not None:
            path = folder / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)


def load_checker():
    spec = importlib.util.spec_from_file_location("house_rules", CHECKER)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def check_tree(checker, folder, case):
    """The checker's exit and output on the case's tree, in this process:
    Python starting for each case would take most of the test's time."""
    write_tree(folder, case.files)
    out = io.StringIO()
    exit_code = checker.main([str(folder)] + ([case.clang_format] if case.clang_format else []),
                             out)
    return exit_code, out.getvalue()


class HouseRulesTest(unittest.TestCase):
    def test_each_tree(self):
        checker = load_checker()
        # Side by side: much of each case's time is clang-format starting.
        with tempfile.TemporaryDirectory() as folder, ThreadPoolExecutor(os.cpu_count()) as pool:
            runs = [pool.submit(check_tree, checker, pathlib.Path(folder) / str(number), case)
                    for number, case in enumerate(CASES)]
            for case, run in zip(CASES, runs):
                with self.subTest(case.name):
                    exit_code, output = run.result()
                    self.assertEqual(exit_code, case.exit, output)
                    for text in case.texts:
                        self.assertIn(text, output)

    def test_command_line(self):
        # The clean tree and the first breach, through the exit status.
        for case in CASES[:2]:
            with self.subTest(case.name), tempfile.TemporaryDirectory() as folder:
                write_tree(pathlib.Path(folder), case.files)
                result = subprocess.run([sys.executable, str(CHECKER), folder],
                                        capture_output=True, text=True, timeout=30)
                self.assertEqual(result.returncode, case.exit, result.stdout + result.stderr)
                for text in case.texts:
                    self.assertIn(text, result.stdout)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
