#!/usr/bin/env python3
"""Checks on the delivered object files and the program, read with readelf.

Usage:
  objects.py c-library-only PROGRAM
      PROGRAM takes the C library and nothing else at run time: dynamically
      linked, it needs exactly the C library; static, it needs nothing.
      Neither may carry code of the C++ run-time library, which a static
      link would otherwise hide.
  objects.py tailcopy OBJECT REFERENCE SHARED
      OBJECT is for REFERENCE's architecture, defines tailcopy as a global
      function and has no undefined symbols; SHARED, a shared library linked
      from it, exports tailcopy.
  objects.py defines OBJECT REFERENCE SYMBOL...
      OBJECT is for REFERENCE's architecture and defines each SYMBOL as a
      global function.
  objects.py no-prefix FILE PREFIX
      FILE has no symbol whose name starts with PREFIX.

A global function is one of default visibility too: hidden, a shared library
linked from the object would not export it.
"""

import collections
import re
import subprocess
import sys

CXX_RUNTIME = ("_ZNSt", "_ZSt", "_ZTVN10__cxxabiv", "__gxx_personality", "__cxa_throw",
               "__cxa_begin_catch", "_Unwind_")


def readelf(*args):
    return subprocess.run(["readelf", "-W", *args], check=True, capture_output=True,
                          text=True).stdout


def architecture(path):
    fields = {}
    for line in readelf("-h", path).splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Class", "Data", "Machine"):
            fields[key] = value.strip()
    return fields


Symbol = collections.namedtuple("Symbol", "name type binding section visibility")


def symbols(path, table="-s"):
    """Every entry of the symbol table (or of the dynamic one, with
    "--dyn-syms")."""
    result = []
    for line in readelf(table, path).splitlines():
        parts = line.split()
        if len(parts) >= 8 and parts[0].endswith(":") and parts[0][:-1].isdigit():
            result.append(Symbol(parts[7], parts[3], parts[4], parts[6], parts[5]))
    return result


failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print(f"FAIL {what}")


def same_architecture(obj, reference):
    got, want = architecture(obj), architecture(reference)
    check(got == want, f"{obj} is {got}, the build's programs are {want}")


def defines(obj, names, table="-s"):
    entries = symbols(obj, table)
    for name in names:
        check(any(e.name == name and e.type == "FUNC" and e.binding == "GLOBAL"
                  and e.section != "UND" and e.visibility == "DEFAULT" for e in entries),
              f"{obj} defines {name} as a global function of default visibility ({table})")


def c_library_only(program):
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf("-d", program))
    static = "Requesting program interpreter" not in readelf("-l", program)
    if static:
        check(not needed, f"{program} is static and needs nothing (needs {needed})")
    else:
        check(len(needed) == 1 and re.fullmatch(r"libc\.so(\.\d+)?", needed[0]),
              f"{program} needs the C library only (needs {needed})")
    cxx = sorted({e.name for e in symbols(program) if e.name.startswith(CXX_RUNTIME)})
    check(not cxx, f"{program} carries no C++ run-time code (has {cxx[:5]})")


def main():
    mode, path = sys.argv[1], sys.argv[2]
    if mode == "c-library-only":
        c_library_only(path)
    elif mode == "tailcopy":
        same_architecture(path, sys.argv[3])
        defines(path, ["tailcopy"])
        undefined = [e.name for e in symbols(path) if e.section == "UND" and e.name]
        check(not undefined, f"{path} has no undefined symbols (has {undefined})")
        defines(sys.argv[4], ["tailcopy"], "--dyn-syms")
    elif mode == "defines":
        same_architecture(path, sys.argv[3])
        defines(path, sys.argv[4:])
    elif mode == "no-prefix":
        found = [e.name for e in symbols(path) if e.name.startswith(sys.argv[3])]
        check(not found, f"{path} has no {sys.argv[3]} symbols (has {found})")
    else:
        sys.exit(f"unknown mode {mode}")
    print(f"{0 if failures else 1} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
