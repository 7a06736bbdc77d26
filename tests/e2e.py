#!/usr/bin/env python3
"""End-to-end tests of the hostname program.

Every case runs in a private UTS namespace whose host name is first set to a
known value, so the machine's own name is never touched, printed names are
known in advance, and the name the kernel holds afterwards can be checked.

Usage: e2e.py [--valgrind] --libc LIBC --version-text VERSION --failing FAILING
              --locale-probe PROBE PROGRAM [EMULATOR ARG...]

FAILING is the program linked with a gethostname that fails; VERSION is the
version its banner shows.  LIBC (glibc, musl or uclibc) chooses the
expectations where the C library's own text or timing differs.  PROBE prints
the locale that the environment selects: operands are rendered by the
Latin-1 locale only where it is selected.  With --valgrind, the cases marked
for it run under valgrind, which must find nothing to report.
"""

import argparse
import dataclasses
import os
import shutil
import subprocess
import sys
import tempfile

PRESET = b"fernwick-test"
# A locale made at test time in which bytes from 0xA0 on are printable, as
# they are not in C and C.UTF-8.
LATIN1 = "en_US.ISO-8859-1"
VALGRIND = ["valgrind", "-q", "--error-exitcode=1", "--leak-check=full",
            "--errors-for-leak-kinds=definite", "--vgdb=no"]
SCRIPT = r"""
"$PYTHON" -c 'import socket, sys; socket.sethostname(sys.argv[1])' "$1" || exit 99
shift
case $1 in
    pipe) shift; "$@" 3>&- 4>&- ;;
    full) shift; "$@" 3>&- 4>&- > /dev/full ;;
    closed) shift; "$@" 3>&- 4>&- >&- ;;
    broken) shift; trap '' PIPE; "$@" 3>&- >&4 4>&- ;;
esac
s=$?
cat /proc/sys/kernel/hostname >&3
exit $s
"""

# What the C library itself writes, where libraries legitimately differ:
# getopt's complaints, and the report of a name lost in a full device or a
# pipe without a reader.  glibc's and uClibc-ng's standard output holds the
# name until the exit check flushes it, and that flush fails with the
# system's text (ENOSPC, EPIPE); musl's learns at its first output that it
# is not a terminal and writes that output at once, so the write fails and
# sets the error indicator and the close has nothing left to fail on: the
# exit check's "error indicator set, close succeeds" row, "write error"
# without system text.  Help and the version banner are longer than their
# first line, so on musl too the final flush fails and reports ENOSPC.
# musl's isprint is the same in every locale, and it reads no locale made by
# localedef; uClibc-ng has its own en_US (ISO-8859-1) built in when it is
# built with locales, and else selects C and POSIX only, as the probe finds.
# glibc must select the locale: failing there, the test set-up is broken.
LIBC = {
    "glibc": {
        "invalid option": lambda c: b"invalid option -- '" + c + b"'",
        "unrecognized option": lambda o: b"unrecognized option '" + o + b"'",
        "name lost": lambda why: b"write error: " + why,
        "locale governs isprint": True,
        "Latin-1 selectable": True,
    },
    "musl": {
        "invalid option": lambda c: b"unrecognized option: " + c,
        "unrecognized option": lambda o: b"unrecognized option: " + o[2:],
        "name lost": lambda why: b"write error",
        "locale governs isprint": False,
        "Latin-1 selectable": True,
    },
    "uclibc": {
        "invalid option": lambda c: b"invalid option -- " + c,
        "unrecognized option": lambda o: b"unrecognized option `" + o + b"'",
        "name lost": lambda why: b"write error: " + why,
        "locale governs isprint": True,
        "Latin-1 selectable": None,  # as built
    },
}


@dataclasses.dataclass
class Case:
    name: str
    args: list
    status: int = 0
    out: bytes = b""
    err: bytes = b""
    kernel: bytes = None  # the name the kernel holds afterwards; None: unchanged
    preset: bytes = PRESET  # the name set before the run
    stdout: str = "pipe"  # or "full" (/dev/full), "closed", "broken" (a pipe without reader)
    locale: str = "C"
    unprivileged: bool = False
    program: str = "hostname"  # or "failing"
    valgrind: bool = False  # also run under valgrind (native builds)


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
    def __init__(self, programs, emulator):
        # World-readable copies, so that an unprivileged user can run them
        # wherever the build tree lies.  The program's name is data wherever
        # it is written: its path holds a conversion, a backslash, a blank
        # and a byte above 0x7f.
        self.dir = tempfile.mkdtemp(prefix=os.fsdecode(b"fernwick-e2e-%s%d\\ \xe9-"))
        os.chmod(self.dir, 0o755)
        self.programs = {}
        for key, path in programs.items():
            os.makedirs(os.path.join(self.dir, key), mode=0o755)
            self.programs[key] = os.path.join(self.dir, key, "hostname")
            shutil.copy2(path, self.programs[key])
        self.locales = os.path.join(self.dir, "locales")
        os.makedirs(self.locales, mode=0o755)
        subprocess.run(["localedef", "-i", "en_US", "-f", "ISO-8859-1",
                        os.path.join(self.locales, LATIN1)], check=True)
        self.emulator = self.reachable_sysroot(emulator)
        self.failures = 0
        self.passed = 0

    def reachable_sysroot(self, emulator):
        """The emulator with the sysroot it is given by -L replaced by a
        world-readable copy of the sysroot's lib/ (the loader and the C
        library), which an unprivileged user reaches wherever the sysroot
        lies."""
        if "-L" not in emulator:
            return emulator
        at = emulator.index("-L") + 1
        copy = os.path.join(self.dir, "sysroot")
        shutil.copytree(os.path.join(emulator[at], "lib"), os.path.join(copy, "lib"),
                        symlinks=True)
        os.chmod(copy, 0o755)
        return emulator[:at] + [copy] + emulator[at + 1:]

    def environment(self, locale):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": locale,
               "PYTHON": sys.executable}
        if locale == LATIN1:
            env["LOCPATH"] = self.locales
        return env

    def selectable(self, probe, emulator, locale):
        selected = subprocess.run(emulator + [probe], env=self.environment(locale),
                                  capture_output=True, check=True).stdout
        return selected == locale.encode() + b"\n"

    def run(self, case):
        inner = (unprivileged_prefix() if case.unprivileged else []) + self.emulator
        inner += [self.programs[case.program]] + case.args
        read_fd, write_fd = os.pipe()
        # A pipe whose reader is gone before the program starts, on fd 4.
        orphan_read, orphan_write = os.pipe()
        os.close(orphan_read)
        env = self.environment(case.locale)
        proc = subprocess.Popen(
            namespace_prefix() + ["sh", "-c", SCRIPT, "sh", case.preset, case.stdout] + inner,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=env,
            pass_fds=(3, 4),
            preexec_fn=lambda: (os.dup2(write_fd, 3), os.dup2(orphan_write, 4)),
        )
        os.close(write_fd)
        os.close(orphan_write)
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

    def check_case(self, case):
        status, out, err, kernel = self.run(case)
        self.check(f"{case.name}: status", status, case.status)
        self.check(f"{case.name}: stdout", out, case.out)
        self.check(f"{case.name}: stderr", err, case.err)
        self.check(f"{case.name}: kernel name", kernel,
                   case.preset if case.kernel is None else case.kernel)
        raw = [b for b in err if (b < 0x20 and b != 0x0A) or b == 0x7F]
        self.check(f"{case.name}: no raw control bytes on stderr", raw, [])


def cases(programs, libc, version, latin1):
    p = os.fsencode(programs["hostname"])
    text = LIBC[libc]
    try_help = b"Try `" + p + b" --help' for more information.\n"
    help_text = (
        b"Usage: " + p + b" [NAME]\n  or:  " + p + b" OPTION\n"
        b"Print or set the hostname of the current system.\n\n"
        b"      --help     display this help and exit\n"
        b"      --version  output version information and exit\n"
        b"\nReport bugs to <fernwick-bugs@example.org>.\n"
    )
    version_text = (
        b"hostname (Fernwick) " + version.encode() + b"\n"
        b"Copyright (C) 2026 The Fernwick developers.\n"
        b"This program is free software: you may redistribute and modify it under the\n"
        b"terms of the MIT License <https://opensource.org/license/mit>.\n"
        b"There is no warranty, to the extent permitted by law.\n"
        b"\n"
        b"Written by the Fernwick project.\n"
    )

    def diag(message, program=p):
        return program + b": " + message + b"\n"

    def usage_error(message):
        return dict(status=1, err=diag(message) + try_help)

    def refused(quoted, why=b"Invalid argument"):
        return dict(status=1, err=diag(b"cannot set name to " + quoted + b": " + why))

    odd = b"a\x01b\tc'd\\e\x7f\xe9\xa0\x80\x1b[0m%s%n"
    odd_quoted = b"`a\\001b\\tc\\'d\\\\e\\177\\351\\240\\200\\033[0m%s%n'"
    quoted = {"C": odd_quoted, "C.UTF-8": odd_quoted, LATIN1: odd_quoted}
    if text["locale governs isprint"] and latin1:
        quoted[LATIN1] = b"`a\\001b\\tc\\'d\\\\e\\177\xe9\xa0\\200\\033[0m%s%n'"
    long_name = b"L" * 300
    n65 = b"n" * 65

    rows = [
        Case("print", [], out=PRESET + b"\n", valgrind=True),
        Case("print after --", ["--"], out=PRESET + b"\n"),
        Case("set", ["newname"], kernel=b"newname", valgrind=True),
        Case("set a dash name after --", ["--", "-name"], kernel=b"-name"),
        Case("set the empty name", [""], kernel=b""),
        Case("set 64 bytes", ["s" * 64], kernel=b"s" * 64),
        Case("extra operands", ["a", "b", "c"], **usage_error(b"extra operand `b'"),
             valgrind=True),
        Case("-h", ["-h"], **usage_error(text["invalid option"](b"h")), valgrind=True),
        Case("unknown long option", ["--foo"],
             **usage_error(text["unrecognized option"](b"--foo"))),
        Case("--help extra", ["--help", "extra"],
             **usage_error(text["unrecognized option"](b"--help"))),
        Case("--help with an argument", ["--help=x"],
             **usage_error(text["unrecognized option"](b"--help=x"))),
        Case("--version with an argument", ["--version=1"],
             **usage_error(text["unrecognized option"](b"--version=1"))),
        Case("option after operand", ["name", "-x"],
             **usage_error(text["invalid option"](b"x"))),
        Case("ambiguous --", ["--", "a", "b"], **usage_error(b"extra operand `b'")),
        Case("--help", ["--help"], out=help_text),
        Case("--h", ["--h"], out=help_text),
        Case("--version", ["--version"], out=version_text),
        Case("--vers", ["--vers"], out=version_text),
        Case("name the kernel refuses", [n65], **refused(b"`" + n65 + b"'"), valgrind=True),
        Case("set without privilege", ["other"],
             **refused(b"`other'", b"Operation not permitted"), unprivileged=True,
             valgrind=True),
        Case("gethostname fails", [], program="failing", status=1,
             err=diag(b"cannot determine hostname: Bad address",
                      os.fsencode(programs["failing"])),
             valgrind=True),
        Case("print to a full device", [], status=1,
             err=diag(text["name lost"](b"No space left on device")), stdout="full",
             valgrind=True),
        Case("print to a pipe without reader", [], status=1,
             err=diag(text["name lost"](b"Broken pipe")), stdout="broken"),
        Case("help to a full device", ["--help"], status=1,
             err=diag(b"write error: No space left on device"), stdout="full"),
        Case("version to a full device", ["--version"], status=1,
             err=diag(b"write error: No space left on device"), stdout="full"),
        Case("print to closed output", [], status=1,
             err=diag(b"write error: Bad file descriptor"), stdout="closed"),
        Case("set with closed output", ["quiet"], kernel=b"quiet", stdout="closed"),
        Case("usage error with closed output", ["a", "b"],
             **usage_error(b"extra operand `b'"), stdout="closed"),
    ]
    for length in (0, 1, 31, 32, 33, 64):
        name = bytes(ord("a") + i % 26 for i in range(length))
        rows.append(Case(f"print a {length}-byte name", [], out=name + b"\n", preset=name,
                         valgrind=length in (0, 64)))
    # A name is data: conversions are printed as they are, and so is every
    # byte value but NUL, in as many names as the kernel's 64-byte limit needs.
    rows.append(Case("print conversions", [], out=b"%s%n%d%%\n", preset=b"%s%n%d%%"))
    every = bytes(range(1, 256))
    for start in range(0, len(every), 64):
        name = every[start:start + 64]
        rows.append(Case(f"print the bytes {name[0]} to {name[-1]}", [], out=name + b"\n",
                         preset=name))
    for locale in quoted:
        rows += [
            Case(f"odd bytes in extra operand ({locale})", ["x", odd],
                 **usage_error(b"extra operand " + quoted[locale]), locale=locale),
            Case(f"odd bytes in refused name ({locale})", [odd + b"!" * 60],
                 **refused(quoted[locale][:-1] + b"!" * 60 + b"'"), locale=locale),
            Case(f"300-byte refused name ({locale})", [long_name],
                 **refused(b"`" + long_name + b"'"), locale=locale, valgrind=locale == "C"),
        ]
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--valgrind", action="store_true")
    parser.add_argument("--libc", choices=sorted(LIBC), required=True)
    parser.add_argument("--version-text", required=True)
    parser.add_argument("--failing", required=True)
    parser.add_argument("--locale-probe", required=True)
    parser.add_argument("program")
    parser.add_argument("emulator", nargs=argparse.REMAINDER)
    options = parser.parse_args()

    runner = Runner({"hostname": options.program, "failing": options.failing},
                    VALGRIND if options.valgrind else options.emulator)
    latin1 = runner.selectable(options.locale_probe, options.emulator, LATIN1)
    if LIBC[options.libc]["Latin-1 selectable"] is not None:
        runner.check(f"{LATIN1} can be selected", latin1,
                     LIBC[options.libc]["Latin-1 selectable"])
    for case in cases(runner.programs, options.libc, options.version_text, latin1):
        if options.valgrind and not case.valgrind:
            continue
        case.args = [a.encode() if isinstance(a, str) else a for a in case.args]
        runner.check_case(case)

    shutil.rmtree(runner.dir)
    print(f"{runner.passed} passed, {runner.failures} failed")
    return 1 if runner.failures else 0


if __name__ == "__main__":
    sys.exit(main())
