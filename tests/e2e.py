#!/usr/bin/env python3
"""End-to-end tests of the hostname program.

Every case runs in a private UTS namespace whose host name is first set to a
known value, so the machine's own name is never touched, printed names are
known in advance, and the name the kernel holds afterwards can be checked.

Usage: e2e.py PROGRAM [EMULATOR ARG...]
       e2e.py --valgrind PROGRAM

With --valgrind, the cases that print, set and fail run once each under
valgrind, which must find nothing to report.
"""

import os
import shutil
import subprocess
import sys
import tempfile

PRESET = b"fernwick-test"
VALGRIND = ["valgrind", "-q", "--error-exitcode=1", "--leak-check=full",
            "--errors-for-leak-kinds=definite", "--vgdb=no"]
# The cases that run under valgrind: printing (a short and a long name),
# setting, and each kind of failure.
VALGRIND_CASES = {
    "print", "print a 64-byte name", "set", "extra operands", "-h",
    "name the kernel refuses", "set without privilege", "300-byte refused name (C)",
    "print to a full device", "gethostname fails",
}
SCRIPT = r"""
"$PYTHON" -c 'import socket, sys; socket.sethostname(sys.argv[1])' "$1" || exit 99
shift
case $1 in
    pipe) shift; "$@" 3>&- ;;
    full) shift; "$@" 3>&- > /dev/full ;;
    closed) shift; "$@" 3>&- >&- ;;
esac
s=$?
cat /proc/sys/kernel/hostname >&3
exit $s
"""


def namespace_prefix():
    if os.geteuid() == 0:
        return ["unshare", "--uts"]
    return ["unshare", "--user", "--map-root-user", "--uts"]


def unprivileged_prefix():
    """Runs a command without the privilege to set the host name."""
    if os.geteuid() == 0:
        return ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    # A user namespace of its own has no say over the enclosing UTS namespace.
    return ["unshare", "--user"]


class Runner:
    def __init__(self, program, emulator):
        # A world-readable copy, so that an unprivileged user can run it
        # wherever the build tree lies.
        self.dir = tempfile.mkdtemp(prefix="fernwick-e2e-")
        os.chmod(self.dir, 0o755)
        self.program = os.path.join(self.dir, "hostname")
        shutil.copy2(program, self.program)
        self.emulator = emulator
        self.failures = 0
        self.passed = 0

    def run(self, args, preset=PRESET, stdout="pipe", locale="C", unprivileged=False,
            preload=None):
        inner = (unprivileged_prefix() if unprivileged else []) + self.emulator
        if preload:
            # Into the program only: through the emulator's own option when
            # there is one, else through env.  ASan need not come first.
            settings = [f"LD_PRELOAD={preload}", "ASAN_OPTIONS=verify_asan_link_order=0"]
            if self.emulator and self.emulator[0].startswith("qemu-"):
                inner += [a for s in settings for a in ("-E", s)]
            else:
                inner = ["env"] + settings + inner
        inner += [self.program] + list(args)
        read_fd, write_fd = os.pipe()
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": locale,
               "PYTHON": sys.executable}
        proc = subprocess.Popen(
            namespace_prefix() + ["sh", "-c", SCRIPT, "sh", preset, stdout] + inner,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=env,
            pass_fds=(3,),
            preexec_fn=lambda: os.dup2(write_fd, 3),
        )
        os.close(write_fd)
        out, err = proc.communicate(timeout=60)
        with os.fdopen(read_fd, "rb") as f:
            kernel = f.read()
        # The kernel ends the name with a newline when it is read this way.
        if kernel.endswith(b"\n"):
            kernel = kernel[:-1]
        return proc.returncode, out, err, kernel

    def check(self, label, got, want):
        if got == want:
            self.passed += 1
            return
        self.failures += 1
        print(f"FAIL {label}\n  want {want!r}\n  got  {got!r}")


def main():
    under_valgrind = sys.argv[1] == "--valgrind"
    if under_valgrind:
        runner = Runner(sys.argv[2], VALGRIND)
    else:
        runner = Runner(sys.argv[1], sys.argv[2:])
    p = runner.program.encode()
    try_help = b"Try `" + p + b" --help' for more information.\n"
    help_text = (
        b"Usage: " + p + b" [NAME]\n  or:  " + p + b" OPTION\n"
        b"Print or set the hostname of the current system.\n\n"
        b"      --help     display this help and exit\n"
        b"      --version  output version information and exit\n"
        b"\nReport bugs to <fernwick-bugs@example.org>.\n"
    )
    version_text = (
        b"hostname (Fernwick) " + os.environ["FERNWICK_VERSION"].encode() + b"\n"
        b"Copyright (C) 2026 The Fernwick developers.\n"
        b"This program is free software: you may redistribute and modify it under the\n"
        b"terms of the MIT License <https://opensource.org/license/mit>.\n"
        b"There is no warranty, to the extent permitted by law.\n"
        b"\n"
        b"Written by the Fernwick project.\n"
    )

    def diag(text):
        return p + b": " + text + b"\n"

    odd = b"a\x01b\tc'd\\e\x7f\xe9\x1b[0m"
    odd_quoted = b"`a\\001b\\tc\\'d\\\\e\\177\\351\\033[0m'"
    long_name = b"L" * 300
    n65 = b"n" * 65

    # name, arguments, (status, stdout, stderr, kernel name afterwards),
    # options.  None for the kernel name means unchanged.
    cases = [
        ("print", [], (0, PRESET + b"\n", b"", None), {}),
        ("print after --", ["--"], (0, PRESET + b"\n", b"", None), {}),
        ("set", ["newname"], (0, b"", b"", b"newname"), {}),
        ("set a dash name after --", ["--", "-name"], (0, b"", b"", b"-name"), {}),
        ("set the empty name", [""], (0, b"", b"", b""), {}),
        ("set 64 bytes", ["s" * 64], (0, b"", b"", b"s" * 64), {}),
        ("extra operands", ["a", "b", "c"],
         (1, b"", diag(b"extra operand `b'") + try_help, None), {}),
        ("-h", ["-h"], (1, b"", diag(b"invalid option -- 'h'") + try_help, None), {}),
        ("unknown long option", ["--foo"],
         (1, b"", diag(b"unrecognized option '--foo'") + try_help, None), {}),
        ("--help extra", ["--help", "extra"],
         (1, b"", diag(b"unrecognized option '--help'") + try_help, None), {}),
        ("option after operand", ["name", "-x"],
         (1, b"", diag(b"invalid option -- 'x'") + try_help, None), {}),
        ("ambiguous --", ["--", "a", "b"],
         (1, b"", diag(b"extra operand `b'") + try_help, None), {}),
        ("--help", ["--help"], (0, help_text, b"", None), {}),
        ("--h", ["--h"], (0, help_text, b"", None), {}),
        ("--version", ["--version"], (0, version_text, b"", None), {}),
        ("--vers", ["--vers"], (0, version_text, b"", None), {}),
        ("name the kernel refuses", [n65],
         (1, b"", diag(b"cannot set name to `" + n65 + b"': Invalid argument"), None), {}),
        ("set without privilege", ["other"],
         (1, b"", diag(b"cannot set name to `other': Operation not permitted"), None),
         {"unprivileged": True}),
        ("gethostname fails", [],
         (1, b"", diag(b"cannot determine hostname: Bad address"), None),
         {"preload": os.environ["FERNWICK_FAILING_GETHOSTNAME"]}),
        ("print to a full device", [],
         (1, b"", diag(b"write error: No space left on device"), None), {"stdout": "full"}),
        ("help to a full device", ["--help"],
         (1, b"", diag(b"write error: No space left on device"), None), {"stdout": "full"}),
        ("version to a full device", ["--version"],
         (1, b"", diag(b"write error: No space left on device"), None), {"stdout": "full"}),
        ("print to closed output", [],
         (1, b"", diag(b"write error: Bad file descriptor"), None), {"stdout": "closed"}),
        ("set with closed output", ["quiet"], (0, b"", b"", b"quiet"), {"stdout": "closed"}),
        ("usage error with closed output", ["a", "b"],
         (1, b"", diag(b"extra operand `b'") + try_help, None), {"stdout": "closed"}),
    ]
    for length in (1, 32, 33, 64):
        name = bytes(ord("a") + i % 26 for i in range(length))
        cases.append((f"print a {length}-byte name", [], (0, name + b"\n", b"", None),
                      {"preset": name}))
    for locale in ("C", "C.UTF-8"):
        cases += [
            (f"odd bytes in extra operand ({locale})", ["x", odd],
             (1, b"", diag(b"extra operand " + odd_quoted) + try_help, None),
             {"locale": locale}),
            (f"odd bytes in refused name ({locale})", [odd + b"!" * 60],
             (1, b"", diag(b"cannot set name to " + odd_quoted[:-1] + b"!" * 60 + b"'"
                           b": Invalid argument"), None),
             {"locale": locale}),
            (f"300-byte refused name ({locale})", [long_name],
             (1, b"", diag(b"cannot set name to `" + long_name + b"': Invalid argument"),
              None), {"locale": locale}),
        ]

    if under_valgrind:
        cases = [c for c in cases if c[0] in VALGRIND_CASES]
        assert len(cases) == len(VALGRIND_CASES), "every valgrind case exists"
    for name, args, (status, out, err, kernel), opts in cases:
        args = [a.encode() if isinstance(a, str) else a for a in args]
        preset = opts.get("preset", PRESET)
        got = runner.run(args, **opts)
        runner.check(f"{name}: status", got[0], status)
        runner.check(f"{name}: stdout", got[1], out)
        runner.check(f"{name}: stderr", got[2], err)
        runner.check(f"{name}: kernel name", got[3], preset if kernel is None else kernel)
        raw = [b for b in got[2] if (b < 0x20 and b != 0x0A) or b == 0x7F]
        runner.check(f"{name}: no raw control bytes on stderr", raw, [])

    shutil.rmtree(runner.dir)
    print(f"{runner.passed} passed, {runner.failures} failed")
    return 1 if runner.failures else 0


if __name__ == "__main__":
    sys.exit(main())
