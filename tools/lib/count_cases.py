#!/usr/bin/env python3
"""Counts the GoogleTest cases of a test run from the programs' XML results.

    count_cases.py RESULTS_DIR TIER

Prints one line, "cases: R run, S skipped (T-bit tier)". A case that ran in
more than one run (a suite run again in another locale) counts once. The
results may lie in subfolders, one for each prefix the tests ran in.
"""
import pathlib
import sys
import xml.etree.ElementTree as ElementTree


def main():
    results, tier = pathlib.Path(sys.argv[1]), sys.argv[2]
    outcome = {}
    for path in sorted(results.rglob("*.xml")):
        program = path.stem.rstrip("0123456789").rstrip("_")
        for case in ElementTree.parse(path).iter("testcase"):
            # A listing (--gtest_list_tests) names cases without running them.
            if case.get("status") != "run":
                continue
            key = (program, case.get("classname"), case.get("name"))
            skipped = case.get("result") == "skipped"
            outcome[key] = outcome.get(key, True) and skipped
    skipped = sum(outcome.values())
    print(f"cases: {len(outcome) - skipped} run, {skipped} skipped ({tier}-bit tier)")


if __name__ == "__main__":
    main()
