#!/usr/bin/env python3
"""scripts/apt-mirror over apt configurations of both formats: the archive of
the system's own release, or a refusal when the configuration names none."""

import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                      "scripts", "apt-mirror")
MAIN = "http://archive.example/debian"
SECURITY = """Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main
"""

# (case, {file under etc/apt: text}, the address printed, or None: refused)
ROWS = [
    ("one-line, with options", {"sources.list": "# deb http://old.example/debian bookworm main\n"
                                "deb-src http://src.example/debian bookworm main\n"
                                "deb [ arch=amd64 signed-by=/k.gpg ] %s bookworm main\n" % MAIN},
     MAIN),
    ("one-line in sources.list.d, after the security archive",
     {"sources.list.d/a.list": "deb http://security.example/s bookworm-security main\n"
                               "deb %s bookworm main contrib\n" % MAIN}, MAIN),
    ("deb822, the security stanza first, two URIs and suites",
     {"sources.list.d/debian.sources": SECURITY + "\nTypes: deb deb-src\n"
      "URIs: %s http://other.example/debian\nSuites: bookworm bookworm-updates\n"
      "Signed-By:\n -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n" % MAIN}, MAIN),
    ("deb822 lower-case keys, a disabled stanza, then one-line",
     {"sources.list.d/debian.sources": "types: deb\nuris: http://off.example/debian\n"
      "suites: bookworm\nenabled: no\n",
      "sources.list": "deb %s bookworm main\n" % MAIN}, MAIN),
    ("another release's archive only", {"sources.list": "deb %s trixie main\n" % MAIN}, None),
    ("source and security archives only",
     {"sources.list": "deb-src %s bookworm main\n" % MAIN,
      "sources.list.d/debian.sources": SECURITY}, None),
    ("no sources at all", {}, None),
]


def main():
    failures = 0
    for name, files, want in ROWS:
        with tempfile.TemporaryDirectory() as top:
            os.makedirs(os.path.join(top, "etc", "apt", "sources.list.d"))
            with open(os.path.join(top, "etc", "os-release"), "w") as f:
                f.write('NAME="Debian GNU/Linux"\nVERSION_CODENAME=bookworm\n')
            for path, text in files.items():
                with open(os.path.join(top, "etc", "apt", path), "w") as f:
                    f.write(text)
            got = subprocess.run(["sh", SCRIPT, top], capture_output=True, text=True)
        ok = (got.returncode, got.stdout) == ((0, want + "\n") if want else (1, "")) \
            and (want or "names no Debian archive for \"bookworm\"" in got.stderr)
        if not ok:
            failures += 1
            print("FAIL %s\n  want %r\n  got  %r" % (name, want, got))
    print("%d passed, %d failed" % (len(ROWS) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
