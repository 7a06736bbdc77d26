#!/usr/bin/env python3
"""Checks that a program's dynamic section needs the C library only.

Usage: links.py PROGRAM
"""

import re
import subprocess
import sys


def main():
    dynamic = subprocess.run(["readelf", "-d", "-W", sys.argv[1]], check=True,
                             capture_output=True, text=True).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
    if needed != ["libc.so.6"]:
        print(f"FAIL: needs {needed}, want ['libc.so.6']")
        print("0 passed, 1 failed")
        return 1
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
