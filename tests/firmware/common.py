"""What every firmware system's checks need: the project's paths, steps run
with their output in a log, a build isolated from the emulator (and from
help2man, and with its sources read-only, where a system builds so), the
integrator's toolchains, paths inside an image root, and the image's programs
run under the emulator in a private UTS namespace.

Each system's checks are a unittest module beside this one; a failure names
the check, the system and the C library, and shows the tail of the step's
log.  Run all of them with
    python3 -m unittest discover -s tests/firmware -v
or one system alone with python3 tests/firmware/test_<system>.py.
"""

import contextlib
import fnmatch
import os
import re
import shlex
import shutil
import subprocess
import tarfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HERE = os.path.join(ROOT, "tests", "firmware")
DEPS = os.path.join(ROOT, "build", "deps")
WORK = os.path.join(ROOT, "build", "firmware")
NATIVE_MANUAL = os.path.join(ROOT, "build", "native", "command", "hostname.1")
# The firmware systems' own trees, pinned: Buildroot, OpenEmbedded-Core,
# BitBake and zziplib, as source archives.
SYSTEMS = os.environ.get("FERNWICK_SYSTEMS",
                         os.path.join(os.path.dirname(ROOT), "shared", "systems"))
CROSS = "mipsel-linux-gnu-"
with open(os.path.join(ROOT, "CMakeLists.txt")) as _f:
    VERSION = re.search(r"^project\(Fernwick VERSION (\S+) ", _f.read(), re.M).group(1)
# Where the checks make the release of HEAD (scripts/release), and its archive.
RELEASE = os.path.join(WORK, "release")
RELEASE_ARCHIVE = os.path.join(RELEASE, "fernwick-%s.tar.gz" % VERSION)


class StepFailed(Exception):
    """A step of a build that did not succeed, with its log's tail."""

    def __init__(self, command, log):
        shown = getattr(command, "inner", command)
        super().__init__("%s failed; the end of %s:\n%s" % (
            shlex.join(str(c) for c in shown), log, tail(log)))


class Isolated(list):
    """A command wrapped to run isolated; inner is the command itself."""

    def __init__(self, wrapped, inner):
        super().__init__(wrapped)
        self.inner = inner


def tail(log, lines=30):
    try:
        with open(log, errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return "(no log)"


def run(command, log, env=None, cwd=None, check=True):
    """Runs command with its output appended to log; returns its status."""
    os.makedirs(os.path.dirname(log), exist_ok=True)
    with open(log, "a") as out:
        out.write("+ %s\n" % shlex.join(str(c) for c in getattr(command, "inner", command)))
        out.flush()
        status = subprocess.call(command, stdout=out, stderr=subprocess.STDOUT,
                                 env=env, cwd=cwd)
    if check and status != 0:
        raise StepFailed(command, log)
    return status


def read(path):
    with open(path, errors="replace") as f:
        return f.read()


def output(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True,
                          **kwargs).stdout


def isolated(command, read_only=(), hide=()):
    """command in a private mount namespace where no emulator runs the
    target's programs, the programs named in hide are not found, and every
    directory in read_only cannot be written."""
    script = """set -eu
for q in /usr/bin/qemu-mips*; do
    [ ! -e "$q" ] || mount --bind /dev/null "$q"
done
hide=$1 read_only=$2
shift 2
for _ in $(seq "$hide"); do
    [ ! -e "$1" ] || mount --bind /dev/null "$1"
    shift
done
for _ in $(seq "$read_only"); do
    mount --bind "$1" "$1"
    mount -o remount,bind,ro "$1"
    # The checks' own work stays writable, inside a read-only checkout too.
    case $WORK/ in
    "$1"/*) mount --bind "$WORK" "$WORK" && mount -o remount,bind,rw "$WORK" ;;
    esac
    shift
done
exec "$@"
"""
    hidden = sorted({p for name in hide for p in (shutil.which(name), "/usr/bin/" + name) if p})
    os.makedirs(WORK, exist_ok=True)
    return Isolated(["unshare", "--mount", "env", "WORK=" + WORK, "sh", "-c", script, "sh",
                     str(len(hidden)), str(len(read_only))] + hidden + list(read_only)
                    + list(command), command)


def tracked_files(root=ROOT):
    """The checkout's files as git lists them, with the untracked ones that
    .gitignore does not name: the sources as the developer has them."""
    names = output(["git", "-C", root, "ls-files", "-z", "-co", "--exclude-standard"])
    return sorted(n for n in names.split("\0") if n and os.path.lexists(os.path.join(root, n)))


def copy_sources(dest, root=ROOT):
    for name in tracked_files(root):
        target = os.path.join(dest, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.join(root, name), target, follow_symlinks=False)
    return dest


def make_release():
    """The release of HEAD, made afresh into RELEASE: its archive, checksum
    and upstream-form packages.  It refuses uncommitted changes."""
    fresh(RELEASE)
    run(["sh", os.path.join(ROOT, "scripts", "release"), RELEASE], RELEASE + ".log")
    return RELEASE_ARCHIVE


def unpacked_release(dest):
    """The release archive unpacked into dest, afresh: its top directory, a
    tree of sources with no git work tree, as a user of the release has it."""
    run(["tar", "-xzf", RELEASE_ARCHIVE, "-C", fresh(dest)], dest + ".log")
    return os.path.join(dest, "fernwick-" + VERSION)


def archived(archive):
    """The files in a source archive, without its top directory."""
    with tarfile.open(archive) as files:
        return sorted(m.name.split("/", 1)[1] for m in files if not m.isdir())


def tampered(archive, dest):
    """A copy of archive at dest with one byte changed."""
    with open(archive, "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0xFF
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    with open(dest, "wb") as f:
        f.write(data)
    return dest


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def elf_kind(path):
    """(class, byte order, machine, type) of an ELF file, or None."""
    try:
        with open(path, "rb") as f:
            head = f.read(20)
    except OSError:
        return None
    if head[:4] != b"\x7fELF":
        return None
    order = "little" if head[5] == 1 else "big"
    return (head[4] * 32, order, int.from_bytes(head[18:20], order),
            int.from_bytes(head[16:18], order))


def mips32el(path, elf_type=None):
    """Whether path is a 32-bit little-endian MIPS ELF file (of elf_type:
    1 relocatable, 2 executable, 3 shared or position-independent)."""
    kind = elf_kind(path)
    return bool(kind) and kind[:3] == (32, "little", 8) and elf_type in (None, kind[3])


def resolve(root, path):
    """path inside the image root, with every link on it followed inside
    root (an absolute link from root, as on the target); None when it leads
    nowhere."""
    parts, out = path.split("/"), ""
    for _ in range(40 * (len(parts) + 1)):
        if not parts:
            return out or "/" if os.path.lexists(root + out) else None
        part = parts.pop(0)
        if part in ("", "."):
            continue
        if part == "..":
            out = out.rsplit("/", 1)[0]
        elif os.path.islink(root + out + "/" + part):
            link = os.readlink(root + out + "/" + part)
            out = "" if link.startswith("/") else out
            parts = link.split("/") + parts
        else:
            out += "/" + part
    return None


def on_path(root, path):
    """The program the shell runs for "hostname" with PATH path in the image."""
    for directory in path.split(":"):
        real = resolve(root, directory + "/hostname")
        if real and os.path.isfile(root + real):
            return real
    return None


def hostname_programs(root):
    """The distinct programs at every place a package puts hostname."""
    found = (resolve(root, d + "/hostname") for d in ("/bin", "/sbin", "/usr/bin", "/usr/sbin"))
    return sorted({p for p in found if p})


def target_run(libroot, program, args=(), argv0=None, then=""):
    """(status, output) of the target's program (a path on this machine)
    run under the emulator with libroot as its library root (none for a
    static program), in a private UTS namespace; then is a shell command run
    there afterwards, its output appended."""
    command = (["qemu-mipsel"] + (["-L", libroot] if libroot else [])
               + (["-0", argv0] if argv0 else []) + [program] + list(args))
    script = '"$@"; status=$?; %s; exit $status' % (then or ":")
    result = subprocess.run(["unshare", "--uts", "sh", "-c", script, "sh"] + command,
                            capture_output=True, text=True)
    return result.returncode, (result.stdout + result.stderr).strip()


def banner_is_ours(root, path):
    """Whether "hostname" along path in the image answers --version with
    the project's banner."""
    real = on_path(root, path)
    return bool(real) and "(Fernwick)" in target_run(root, root + real, ["--version"],
                                                     "hostname")[1]


def boot_names(root):
    """For each sysinit line of the image's inittab that runs a hostname,
    the name it leaves, run under the emulator in a private UTS namespace."""
    names = []
    with open(os.path.join(root, "etc", "inittab")) as f:
        for line in f:
            fields = line.split("#")[0].split(":", 3)
            if len(fields) == 4 and fields[2] == "sysinit" and "hostname" in fields[3]:
                program, *args = fields[3].split()
                real = resolve(root, program)
                out = real and target_run(root, root + real, args, program, "uname -n")[1]
                names.append(out and out.splitlines()[-1])
    return names


def ensure_busybox_standin(work):
    """The BusyBox stand-in, a static multi-call program for the target."""
    program = os.path.join(work, "busybox")
    if not os.path.exists(program):
        run([CROSS + "gcc", "-static", "-Os", "-Wall", "-Wextra", "-Werror", "-o", program,
             os.path.join(HERE, "busybox_standin.c")], os.path.join(work, "busybox.log"))
    return program


class Toolchain:
    """The integrator's toolchain for a C library: compilers named
    mipsel-fw-linux-LIBC-gcc and -g++ carrying the flags of our toolchain
    file, as a firmware toolchain carries its sysroot, Debian's binutils
    beside them, and a staging sysroot holding the C library (and for glibc,
    zziplib's development package)."""

    FILES = {"glibc": "mipsel-linux-gnu", "musl": "mipsel-linux-musl",
             "uclibc": "mipsel-linux-uclibc", "uclibc-buildroot": "mipsel-linux-uclibc"}
    NAMES = {"glibc": "glibc", "musl": "musl", "uclibc": "uClibc-ng",
             "uclibc-buildroot": "uClibc-ng as Buildroot configures it"}

    def __init__(self, libc):
        self.libc, self.file = libc, self.FILES[libc]
        base = os.path.join(WORK, "toolchains", libc)
        self.bin, self.staging = os.path.join(base, "bin"), os.path.join(base, "staging")
        self.prefix = os.path.join(self.bin, "mipsel-fw-linux-%s-" % libc)
        self.cc, self.cxx = self.prefix + "gcc", self.prefix + "g++"
        self.zziplib = libc == "glibc"
        # The emulator's library root: glibc's is Debian's cross tree;
        # musl programs are static.
        self.runroot = {"glibc": "/usr/mipsel-linux-gnu", "musl": ""}.get(libc, self.staging)
        if not os.path.exists(self.cxx):
            self._make(base)

    def _make(self, base):
        fresh(base)
        os.makedirs(self.bin)
        os.makedirs(self.staging)
        if self.libc == "glibc":
            deb = [f for f in os.listdir(DEPS) if f.startswith("libzzip-dev_")][0]
            run(["dpkg-deb", "-x", os.path.join(DEPS, deb), self.staging], base + "/make.log")
        elif self.libc.startswith("uclibc"):
            shutil.copytree(os.path.join(DEPS, "mipsel-" + self.libc), self.staging,
                            symlinks=True, dirs_exist_ok=True)
        probe = os.path.join(base, "flags.cmake")
        with open(probe, "w") as f:
            f.write("include(${TOOLCHAIN})\nmessage(\"${CMAKE_C_FLAGS_INIT} "
                    "${CMAKE_EXE_LINKER_FLAGS_INIT}|${CMAKE_CXX_FLAGS_INIT} "
                    "${CMAKE_EXE_LINKER_FLAGS_INIT}\")\n")
        flags = subprocess.run(
            ["cmake", "-DTOOLCHAIN=%s/cmake/%s.cmake" % (ROOT, self.file),
             "-DCMAKE_SYSROOT=" + self.staging, "-P", probe],
            check=True, capture_output=True, text=True).stderr.strip()
        for path, real, own in ((self.cc, "gcc", flags.split("|")[0]),
                                (self.cxx, "g++", flags.split("|")[1])):
            with open(path, "w") as f:
                f.write('#!/bin/sh\nexec %s %s "$@"\n' % (shutil.which(CROSS + real), own))
            os.chmod(path, 0o755)
        for tool in ("ar", "nm", "ranlib", "strip", "objcopy", "objdump", "readelf",
                     "gcc-ar", "gcc-nm", "gcc-ranlib"):
            os.symlink(shutil.which(CROSS + tool), self.prefix + tool)


def files_under(root, pattern):
    return sorted(os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(root)
                  for f in names if fnmatch.fnmatch(f, pattern))


def holds_bytes(root, data):
    """Whether any file under root holds data."""
    for d, _, names in os.walk(root):
        for f in names:
            path = os.path.join(d, f)
            if not os.path.islink(path):
                with open(path, "rb") as content:
                    if data in content.read():
                        return True
    return False


def exports_tailcopy(obj):
    """Whether the object obj defines tailcopy as a global function of
    default visibility, which a library linked from it exports (as
    tests/objects.py decides; the architecture is checked apart)."""
    return subprocess.run(["python3", ROOT + "/tests/objects.py", "defines", obj, obj,
                           "tailcopy"], capture_output=True).returncode == 0


def same_file(a, b):
    try:
        with open(a, "rb") as one, open(b, "rb") as two:
            return one.read() == two.read()
    except OSError:
        return False


def tree_rows(tc, program_root, dev_root, built, manual=True, zziplib=False):
    """What an install must hold: the program tree (under usr/) and the
    development tree (the same where the system installs everything at
    once), made in the build directory built."""
    p, d = program_root + "/usr", dev_root + "/usr"
    doc = "/share/doc/Fernwick/"
    objects = ["tailcopy.o"] + (["info.o", "err.o", "stat.o", "plugin.o"] if zziplib else [])
    page = p + "/share/man/man1/hostname.1"
    rows = [
        ("hostname is a MIPS program", lambda: mips32el(p + "/bin/hostname")),
        ("the header and the objects in the development tree",
         lambda: (files_under(d, "*.h"), sorted(files_under(d, "*.o"))) ==
         (["include/fernwick/tailcopy.h"], sorted("lib/fernwick/" + o for o in objects))),
        ("every object a MIPS relocatable",
         lambda: all(mips32el(d + "/lib/fernwick/" + o, 1) for o in objects)),
        ("tailcopy exported from its object",
         lambda: exports_tailcopy(d + "/lib/fernwick/tailcopy.o")),
        ("the manual is the native build's" if manual else "no manual page",
         lambda: same_file(page, NATIVE_MANUAL) if manual else not os.path.lexists(page)),
        ("LICENSE with the program", lambda: same_file(p + doc + "LICENSE", ROOT + "/LICENSE")),
        ("LICENSE with the development files",
         lambda: same_file(d + doc + "LICENSE", ROOT + "/LICENSE")),
        ("no build path in what is installed",
         lambda: not holds_bytes(program_root, built.encode())
         and not holds_bytes(dev_root, built.encode())),
        ("the installed program prints the host name under the emulator",
         lambda: target_run(tc.runroot, p + "/bin/hostname") == (0, os.uname().nodename)),
    ]
    if p != d:
        rows.append(("no header or object in the program tree",
                     lambda: not files_under(p, "*.[oh]")))
    if zziplib:
        rows.append(("zziplib's notice with its objects",
                     lambda: same_file(d + doc + "zziplib/copyright",
                                       "/usr/share/doc/libzzip-dev/copyright")))
    return rows


class FirmwareCase(unittest.TestCase):
    """A system's checks: each row of a table is checked on its own, and a
    failure names the row, the system and the C library."""

    system = "?"
    libc = "?"

    @contextlib.contextmanager
    def step(self, what):
        """A step whose failure fails the check, named with the system and
        the C library."""
        try:
            yield
        except (OSError, subprocess.CalledProcessError, StepFailed) as error:
            self.fail("%s: %s, %s: %s" % (what, self.system, self.libc, error))

    def rows(self, table, log=None):
        """table: (what must hold, a callable returning whether it does)."""
        for name, holds in table:
            with self.subTest(check=name):
                try:
                    ok = holds()
                except (OSError, subprocess.CalledProcessError, StepFailed) as error:
                    ok, name = False, "%s (%s)" % (name, error)
                if not ok:
                    self.fail("%s: %s, %s%s" % (name, self.system, self.libc,
                                                "; the end of %s:\n%s" % (log, tail(log))
                                                if log else ""))


def unpacked_system(name, under=os.path.join(WORK, "systems")):
    """The directory of a pinned system's tree unpacked under build/firmware
    (or under), or SkipTest when the snapshots are not here."""
    archives = [f for f in os.listdir(SYSTEMS) if f.startswith(name + "-")] \
        if os.path.isdir(SYSTEMS) else []
    if not archives:
        raise unittest.SkipTest(
            "the real system's checks need its pinned snapshot, and %s has no %s-*: set "
            "FERNWICK_SYSTEMS to the folder of the systems' source archives to run them"
            % (SYSTEMS, name))
    archive = os.path.join(SYSTEMS, sorted(archives)[-1])
    dest = os.path.join(under, os.path.basename(archive).split(".tar")[0])
    if not os.path.isdir(dest):
        fresh(dest + ".part")
        run(["tar", "-xzf", archive, "-C", dest + ".part"], dest + ".log")
        os.rename(dest + ".part", dest)
    (top,) = os.listdir(dest)
    return os.path.join(dest, top)
