#!/usr/bin/env python3
"""scripts/release refusing what must not be released: each row a clone of
HEAD with one change, where the release must stop, say why in one line and
write nothing."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
with open(os.path.join(ROOT, "CMakeLists.txt")) as _f:
    _cmake = _f.read()
VERSION = re.search(r"^project\(Fernwick VERSION (\S+) ", _cmake, re.M).group(1)
DATE = re.search(r"^set\(FERNWICK_RELEASE_DATE (\S+)\)", _cmake, re.M).group(1)
NEXT = "99.0.0"
RECIPES = "packaging/yocto/meta-fernwick/recipes-core/fernwick/"
OPENWRT = "packaging/openwrt/fernwick/Makefile"
BUILDROOT = "packaging/buildroot/package/fernwick/fernwick.mk"
# Each package file set to the next version, and all three at once.
TO_NEXT = {OPENWRT: "sed -i 's/^PKG_VERSION:=.*/PKG_VERSION:=%s/' %s" % (NEXT, OPENWRT),
           BUILDROOT: "sed -i 's/^FERNWICK_VERSION = .*/FERNWICK_VERSION = %s/' %s"
           % (NEXT, BUILDROOT),
           "recipe": "git mv %sfernwick_%s.bb %sfernwick_%s.bb" % (RECIPES, VERSION, RECIPES,
                                                                   NEXT)}
PACKAGES = " && ".join(TO_NEXT.values())
BUMP = "sed -i 's/^project(Fernwick VERSION [^ ]*/project(Fernwick VERSION %s/' " \
       "CMakeLists.txt && %s" % (NEXT, PACKAGES)
STATES = "states version %s, CMakeLists.txt %s" % (NEXT, VERSION)

# (case, the change in the clone's shell, committed, what the release says)
ROWS = [
    ("an uncommitted change", "echo edit >>NEWS", False,
     "the work tree has uncommitted changes"),
    ("a directory holding files", "mkdir ../out && echo mine >../out/buildroot", False,
     "out is not empty: give a new or empty directory"),
    ("OpenWrt's version alone", TO_NEXT[OPENWRT], True, OPENWRT + " " + STATES),
    ("Buildroot's version alone", TO_NEXT[BUILDROOT], True, BUILDROOT + " " + STATES),
    ("the recipe renamed alone", TO_NEXT["recipe"], True,
     "fernwick_%s.bb, %s" % (NEXT, STATES)),
    ("every package's version alone", PACKAGES, True, STATES),
    ("a new version without its NEWS entry", BUMP, True,
     'NEWS has no entry for %s: add one, headed "Version %s, %s"' % (NEXT, NEXT, DATE)),
    ("NEWS dating the release otherwise",
     "sed -i 's/^Version %s, .*/Version %s, 2000-01-01/' NEWS" % (VERSION, VERSION), True,
     'NEWS dates %s "2000-01-01", CMakeLists.txt %s' % (VERSION, DATE)),
]


def listing(directory):
    """Each file in directory with its content; {} for none or no directory."""
    found = {}
    for name in os.listdir(directory) if os.path.isdir(directory) else ():
        with open(os.path.join(directory, name)) as f:
            found[name] = f.read()
    return found


def refused(change, commit, want):
    """None if the release in a changed clone is refused as it must be, else
    what happened."""
    with tempfile.TemporaryDirectory() as top:
        clone, out = os.path.join(top, "clone"), os.path.join(top, "out")
        subprocess.run(["git", "clone", "-q", ROOT, clone], check=True)
        git = "git -c user.name=t -c user.email=t@example.org"
        # The script as the work tree has it, committed in the clone.
        shutil.copy(os.path.join(ROOT, "scripts", "release"), clone + "/scripts/release")
        subprocess.run("%s commit -qa --allow-empty -m script && %s%s" % (
            git, change, " && %s commit -qam change" % git if commit else ""),
            shell=True, cwd=clone, check=True)
        before = listing(out)
        got = subprocess.run(["sh", "scripts/release", out], cwd=clone, capture_output=True,
                             text=True)
        lines = got.stderr.splitlines()
        if got.returncode == 1 and len(lines) == 1 and lines[0].startswith("release: ") \
                and want in lines[0] and listing(out) == before:
            return None
        return got


def main():
    failures = 0
    for name, change, commit, want in ROWS:
        got = refused(change, commit, want)
        if got:
            failures += 1
            print("FAIL %s\n  want %r\n  got  %r" % (name, want, got))
    print("%d passed, %d failed" % (len(ROWS) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
