#!/usr/bin/env python3
"""Checks that a program takes the C library and nothing else at run time.

A dynamically linked program must need exactly the C library; a static one
needs nothing.  Neither may carry code of the C++ run-time library, which a
static link would otherwise hide.

Usage: links.py PROGRAM
"""

import re
import subprocess
import sys

CXX_RUNTIME = ("_ZNSt", "_ZSt", "_ZTVN10__cxxabiv", "__gxx_personality", "__cxa_throw",
               "__cxa_begin_catch", "_Unwind_")


def readelf(*args):
    return subprocess.run(["readelf", "-W", *args], check=True, capture_output=True,
                          text=True).stdout


def main():
    program = sys.argv[1]
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf("-d", program))
    static = "Requesting program interpreter" not in readelf("-l", program)
    symbols = [line.split()[7] for line in readelf("-s", program).splitlines()
               if len(line.split()) >= 8 and line.split()[0].rstrip(":").isdigit()]
    cxx = sorted({s for s in symbols if s.startswith(CXX_RUNTIME)})

    failures = []
    if static and needed:
        failures.append(f"a static program needs {needed}")
    if not static and (len(needed) != 1 or not re.fullmatch(r"libc\.so(\.\d+)?", needed[0])):
        failures.append(f"needs {needed}, want the C library only")
    if cxx:
        failures.append(f"carries C++ run-time code: {cxx[:5]}")
    for f in failures:
        print(f"FAIL: {f}")
    print(f"{2 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
