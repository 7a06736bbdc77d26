"""The Buildroot package through the real Buildroot (the pinned snapshot), for
32-bit little-endian MIPS with an external uClibc-ng toolchain: Debian's
mipsel compilers over a sysroot of uClibc-ng configured as Buildroot's own
toolchain configures it (tests/firmware/uclibc-ng-compiler).  Nothing is
downloaded: every source Buildroot would fetch is Debian's source of it or
the pinned zziplib, given as an override, and a download is refused.

Each variant is a configuration fragment, built with make, then checked: what
the target and staging hold, which hostname the image's PATH finds and what
its boot line does (under the emulator, in a private UTS namespace),
make legal-info's archive of our sources and licences.  The package comes
in three forms, one per image: the release's upstream-form package added to
a copy of Buildroot's tree, fetched from a local mirror alone and checked by
its hash (a tampered archive refused); the external tree of the unpacked
release archive; and the external tree of a checkout.  Then, without a
build: the package's Config.in as Kconfig reads it, and utils/check-package.
"""

import concurrent.futures
import os
import shutil
import subprocess
import unittest

from common import (DEPS, HERE, RELEASE, RELEASE_ARCHIVE, ROOT, VERSION, WORK, FirmwareCase,
                    StepFailed, archived, banner_is_ours, boot_names, copy_sources,
                    files_under, fresh, hostname_programs, isolated, exports_tailcopy,
                    make_release, mips32el, output, read, run, same_file, tampered,
                    target_run, unpacked_release, unpacked_system)

TRIPLET = "mipsel-buildroot-linux-uclibc"
SOURCES = os.path.join(DEPS, "sources")
# Debian's sources of what Buildroot would download, by the package each
# stands in for.
OVERRIDES = {"host-pkgconf": "pkgconf", "host-tar": "tar", "host-patchelf": "patchelf",
             "busybox": "busybox", "libzlib": "zlib"}
TOOLCHAIN = """BR2_mipsel=y
BR2_mips_32r2=y
BR2_DL_DIR="{out}/dl"
BR2_WGET="{refuse} wget"
BR2_CURL="{refuse} curl"
BR2_GIT="{refuse} git"
BR2_SCP="{refuse} scp"
BR2_SFTP="{refuse} sftp"
BR2_BACKUP_SITE=""
BR2_TOOLCHAIN_EXTERNAL=y
BR2_TOOLCHAIN_EXTERNAL_CUSTOM=y
BR2_TOOLCHAIN_EXTERNAL_PREINSTALLED=y
BR2_TOOLCHAIN_EXTERNAL_PATH="{toolchain}"
BR2_TOOLCHAIN_EXTERNAL_CUSTOM_PREFIX="{triplet}"
BR2_TOOLCHAIN_EXTERNAL_HEADERS_6_1=y
BR2_TOOLCHAIN_EXTERNAL_CUSTOM_UCLIBC=y
BR2_TOOLCHAIN_EXTERNAL_WCHAR=y
# BR2_TOOLCHAIN_EXTERNAL_LOCALE is not set
BR2_TOOLCHAIN_EXTERNAL_HAS_THREADS=y
# BR2_TOOLCHAIN_EXTERNAL_HAS_THREADS_DEBUG is not set
BR2_TOOLCHAIN_EXTERNAL_HAS_THREADS_NPTL=y
BR2_TOOLCHAIN_EXTERNAL_HAS_SSP=y
BR2_TOOLCHAIN_EXTERNAL_HAS_SSP_STRONG=y
# BR2_TOOLCHAIN_EXTERNAL_INET_RPC is not set
# BR2_TARGET_ROOTFS_TAR is not set
"""
CXX = "BR2_TOOLCHAIN_EXTERNAL_GCC_12=y\nBR2_TOOLCHAIN_EXTERNAL_CXX=y\n"
NO_BUSYBOX = "BR2_INIT_NONE=y\nBR2_SYSTEM_BIN_SH_NONE=y\n# BR2_PACKAGE_BUSYBOX is not set\n"
PACKAGE = "BR2_PACKAGE_FERNWICK=y\n"
# Downloads from a local mirror alone (laid out as Buildroot's download
# directory, a directory per package), as the upstream-form package is
# fetched here.
MIRROR = 'BR2_PRIMARY_SITE="file://{mirror}"\nBR2_PRIMARY_SITE_ONLY=y\n'
ZZIPLIB = "BR2_PACKAGE_FERNWICK_ZZIPLIB=y\n"


def setUpModule():
    global tree, zziplib, toolchain
    tree = unpacked_system("buildroot")
    zziplib = unpacked_system("zziplib")
    make_release()
    toolchain = os.path.join(WORK, "buildroot", "toolchain")
    if not os.path.exists(os.path.join(toolchain, "sysroot")):
        make_toolchain(toolchain)


def build_all():
    """The images, built at once when the first is wanted, each in its own
    output directory, so that both cores work while a package's configure
    script runs alone."""
    with concurrent.futures.ThreadPoolExecutor(len(VARIANTS)) as pool:
        for variant, failure in zip(VARIANTS, pool.map(built, VARIANTS)):
            variant.failure = failure
            variant.built = True


def built(variant):
    try:
        variant.build()
        return None
    except (OSError, StepFailed, subprocess.CalledProcessError) as failure:
        return RuntimeError("building: %s, uClibc-ng: %s" % (variant.system, failure))


def make_toolchain(where):
    """The external toolchain: the compilers over a copy of our uClibc-ng
    sysroot as Buildroot configures it, Debian's binutils beside them."""
    fresh(os.path.join(where, "bin"))
    for tool in ("gcc", "g++", "c++", "cpp"):
        compiler = os.path.join(where, "bin", "%s-%s" % (TRIPLET, tool))
        shutil.copy(os.path.join(HERE, "uclibc-ng-compiler"), compiler)
        os.chmod(compiler, 0o755)
    for tool in ("ar", "as", "ld", "ld.bfd", "nm", "objcopy", "objdump", "ranlib", "readelf",
                 "size", "strings", "strip", "gcc-ar", "gcc-nm", "gcc-ranlib", "addr2line",
                 "c++filt"):
        os.symlink(shutil.which("mipsel-linux-gnu-" + tool),
                   os.path.join(where, "bin", "%s-%s" % (TRIPLET, tool)))
    shutil.copytree(os.path.join(DEPS, "mipsel-uclibc-buildroot"), where + "/sysroot.part",
                    symlinks=True)
    os.rename(where + "/sysroot.part", where + "/sysroot")


def source_of(name):
    top = os.path.join(SOURCES, name)
    found = os.listdir(top) if os.path.isdir(top) else []
    if len(found) != 1:
        raise FileNotFoundError("no Debian source of %s in %s: sh scripts/setup fetches it"
                                % (name, top))
    return os.path.join(top, found[0])


class Variant:
    """A configuration built once; its checks are the test methods."""

    system = "Buildroot"
    libc = "uClibc-ng"
    fragment = ""
    first = None          # a package made alone before the whole make
    external = True       # the in-house external tree, not a package of Buildroot's tree
    out_of_tree = False
    user_host = False     # a user's host and checkout: see UserHost

    built = False
    failure = None

    @classmethod
    def setUpClass(cls):
        if not cls.built:
            build_all()
        if cls.failure:
            raise cls.failure

    @classmethod
    def build(cls):
        cls.out = fresh(os.path.join(WORK, "buildroot", cls.__name__))
        cls.checkout = cls.prepare_checkout()
        cls.tree = cls.prepare_tree()
        cls.log = os.path.join(cls.out, "build.log")
        refuse = os.path.join(cls.out, "refuse-download")
        with open(refuse, "w") as f:
            f.write('#!/bin/sh\necho "$0 $*" >>"%s/downloads.log"\nexit 1\n' % cls.out)
        os.chmod(refuse, 0o755)
        with open(os.path.join(cls.out, "defconfig"), "w") as f:
            f.write(cls.defconfig(cls.out, refuse))
        with open(os.path.join(cls.out, "local.mk"), "w") as f:
            for package, source in OVERRIDES.items():
                f.write("%s_OVERRIDE_SRCDIR = %s\n"
                        % (package.upper().replace("-", "_"), source_of(source)))
            f.write("ZZIPLIB_OVERRIDE_SRCDIR = %s\n" % zziplib)
            # zziplib's package removes its GNUmakefile after extracting; an
            # overridden source is copied, not extracted.
            f.write("ZZIPLIB_POST_RSYNC_HOOKS += ZZIPLIB_POST_EXTRACT_FIXUP\n")
        cls.make("defconfig", "BR2_DEFCONFIG=" + os.path.join(cls.out, "defconfig"))
        if cls.first:
            cls.make(cls.first)
        cls.make()

    @classmethod
    def defconfig(cls, out, refuse):
        return (TOOLCHAIN.format(out=out, refuse=refuse, toolchain=toolchain, triplet=TRIPLET)
                + CXX + cls.fragment + PACKAGE)

    @classmethod
    def prepare_checkout(cls):
        return ROOT

    @classmethod
    def prepare_tree(cls):
        return tree

    @classmethod
    def make_command(cls, *args, out=None):
        return (["make", "-C", cls.tree, "O=" + (out or cls.out)]
                + (["BR2_EXTERNAL=" + os.path.join(cls.checkout, "packaging", "buildroot")]
                   if cls.external else [])
                + (["FERNWICK_SUPPORTS_IN_SOURCE_BUILD=NO"] if cls.out_of_tree else [])
                + list(args))

    @classmethod
    def make(cls, *args, out=None, log=None, check=True):
        # GNU tar's configure (host-tar) refuses to run as root without this.
        env = dict(os.environ, FORCE_UNSAFE_CONFIGURE="1")
        return run(isolated(cls.make_command("BR2_JLEVEL=2", *args, out=out),
                            hide=["help2man"] if cls.user_host else (),
                            read_only=[] if cls.checkout == ROOT else [cls.checkout]),
                   log or cls.log, env=env, check=check)

    @classmethod
    def sources(cls):
        """The files legal-info's archive of our sources must hold: those
        git tracks in the checkout."""
        tracked = output(["git", "-C", cls.checkout, "ls-files", "-z"]).split("\0")
        return sorted(f for f in tracked if f and os.path.lexists(os.path.join(cls.checkout, f)))

    @classmethod
    def variable(cls, name, path=None):
        return output(cls.make_command("-s", "printvars", "VARS=" + name),
                      env=dict(os.environ, PATH=path or os.environ["PATH"])
                      ).strip().partition("=")[2]

    def test_target(self):
        target = os.path.join(self.out, "target")
        program = target + "/usr/bin/hostname"
        self.rows([
            ("hostname is a MIPS program", lambda: mips32el(program)),
            ("the image's PATH finds ours", lambda: banner_is_ours(target, image_path(target))),
            ("it needs the C library only", lambda: {
                line.split("[")[1].rstrip("]") for line in
                output(["mipsel-linux-gnu-readelf", "-d", program]).splitlines()
                if "(NEEDED)" in line} <= {"libc.so.0", "ld-uClibc.so.1"}),
            ("it prints the host name", lambda: target_run(target, program) ==
             (0, os.uname().nodename)),
            ("it sets one in a private namespace",
             lambda: target_run(target, program, ["br-probe"], then="uname -n") ==
             (0, "br-probe")),
            ("no manual page, object or header in the target",
             lambda: not files_under(target, "hostname.1") + files_under(target, "*.o")
             and not os.path.exists(target + "/usr/include/fernwick")),
            ("nothing was downloaded", lambda: not os.path.exists(self.out + "/downloads.log")),
        ], self.log)

    def test_staging(self):
        staging = self.variable("STAGING_DIR")
        objects = ["tailcopy.o"] + (["info.o", "err.o", "stat.o", "plugin.o"]
                                    if ZZIPLIB in self.fragment else [])
        rows = [
            ("the header in staging", lambda: os.path.isfile(
                staging + "/usr/include/fernwick/tailcopy.h")),
            ("the objects in staging, each a MIPS relocatable",
             lambda: sorted(files_under(staging + "/usr/lib/fernwick", "*.o")) == sorted(objects)
             and all(mips32el(staging + "/usr/lib/fernwick/" + o, 1) for o in objects)),
            ("tailcopy exported from its object in staging",
             lambda: exports_tailcopy(staging + "/usr/lib/fernwick/tailcopy.o")),
            ("the licence beside them", lambda: same_file(
                staging + "/usr/share/doc/Fernwick/LICENSE", ROOT + "/LICENSE")),
            ("no manual page made", lambda: not files_under(staging, "hostname.1")),
        ]
        if ZZIPLIB in self.fragment:
            rows.append(("zziplib's notice beside its objects", lambda: same_file(
                staging + "/usr/share/doc/Fernwick/zziplib/copyright",
                self.variable("ZZIPLIB_DIR") + "/docs/COPYING.LIB")))
        self.rows(rows, self.log)

    def test_legal_info(self):
        log = os.path.join(self.out, "legal-info.log")
        env = dict(os.environ, FORCE_UNSAFE_CONFIGURE="1")
        status = run(self.make_command("-k", "legal-info"), log, env=env, check=False)
        legal = os.path.join(self.out, "legal-info")
        label = "fernwick-" + VERSION
        archive = os.path.join(legal, "sources", label, label + ".tar.gz")
        # Debian's sources of other packages are other versions than
        # Buildroot's, so their licence files fail Buildroot's hashes.
        errors = {line for line in read(log).splitlines()
                  if line.startswith("ERROR: while checking hashes from ")}
        rows = [
            ("legal-info fails at most on the hashes of sources we gave",
             lambda: status == 0 or errors and all(
                 os.path.basename(e).split(".")[0] in
                 {p.replace("host-", "") for p in OVERRIDES} for e in errors)),
            ("its archive of our sources is the release archive" if not self.external else
             "its archive of our sources holds the tracked files alone",
             lambda: same_file(archive, RELEASE_ARCHIVE) if not self.external
             else archived(archive) == self.sources()),
            ("our licence collected", lambda: same_file(
                legal + "/licenses/%s/LICENSE" % label, ROOT + "/LICENSE")),
            ("the manifest names our version and licence", lambda: '"fernwick","%s","MIT'
             % VERSION in read(legal + "/manifest.csv")),
        ]
        if ZZIPLIB in self.fragment:
            rows.append(("zziplib's licences collected", lambda: all(
                files_under(legal + "/licenses", f) for f in
                ("COPYING.LIB", "COPYING.MPL", "copying.htm.md"))))
        self.rows(rows, log)


def submitted_tree(dest):
    """A copy of Buildroot's tree (its files linked, not copied) with the
    release's package added as a submission adds it: its directory in
    package/, and its Config.in sourced in order in the System tools menu."""
    shutil.copytree(tree, dest, symlinks=True, copy_function=os.link)
    shutil.copytree(os.path.join(RELEASE, "buildroot", "package", "fernwick"),
                    os.path.join(dest, "package", "fernwick"))
    config = os.path.join(dest, "package", "Config.in")
    lines = read(config).splitlines(keepends=True)
    ours = '\tsource "package/fernwick/Config.in"\n'
    at = lines.index('menu "System tools"\n') + 1
    while lines[at].startswith('\tsource "package/') and lines[at] < ours:
        at += 1
    os.remove(config)          # a link to the shared tree's file
    with open(config, "w") as f:
        f.write("".join(lines[:at] + [ours] + lines[at:]))
    return dest


def image_path(target):
    """The PATH of the image's /etc/profile."""
    return [line.split("=", 1)[1].strip('"') for line in read(target + "/etc/profile").splitlines()
            if line.startswith("export PATH=")][0]


class WithBusyBox(Variant):
    """Buildroot's default: BusyBox with its init."""

    def test_busybox(self):
        target = os.path.join(self.out, "target")
        with open(target + "/etc/hostname") as f:
            name = f.read().split()[0]
        self.rows([
            ("one hostname program", lambda: len(hostname_programs(target)) == 1),
            ("the boot line sets the name from /etc/hostname",
             lambda: boot_names(target) == [name]),
            ("BusyBox still answers", lambda: target_run(
                target, target + "/bin/busybox", ["echo", "ok"]) == (0, "ok")),
        ], self.log)


class BusyBoxSeparateUsr(WithBusyBox, FirmwareCase):
    """Separate /usr, shared libraries, the zziplib objects, ours made
    first; the release's upstream-form package in a copy of Buildroot's
    tree, added as a submission adds it, fetched from a local mirror alone
    and checked by its hash."""

    system = "Buildroot with BusyBox, separate /usr, the release in Buildroot's tree"

    fragment = ZZIPLIB
    first = "fernwick"
    external = False

    @classmethod
    def defconfig(cls, out, refuse):
        return super().defconfig(out, refuse) + MIRROR.format(mirror=out + "/mirror")

    @classmethod
    def prepare_tree(cls):
        os.makedirs(cls.out + "/mirror/fernwick")
        shutil.copy(RELEASE_ARCHIVE, cls.out + "/mirror/fernwick")
        return submitted_tree(os.path.join(cls.out, "buildroot"))

    def test_upstream(self):
        dl = os.path.join(self.out, "dl", "fernwick", os.path.basename(RELEASE_ARCHIVE))
        check = os.path.join(self.out, "check-package.log")
        package = os.listdir(os.path.join(RELEASE, "buildroot", "package", "fernwick"))
        status = run(["/usr/bin/python3", "utils/check-package", "package/Config.in"]
                     + ["package/fernwick/" + f for f in sorted(package)],
                     check, cwd=self.tree, check=False)
        self.rows([
            ("the release archive fetched from the mirror", lambda: same_file(
                dl, RELEASE_ARCHIVE)),
            ("utils/check-package finds nothing in the package or package/Config.in",
             lambda: status == 0 and "\n0 warnings generated" in read(check)),
            ("a tampered archive is refused by the hash check", self.tampered_refused),
        ], self.log)

    def tampered_refused(self):
        out = fresh(self.out + "-tampered")
        log = out + "/build.log"
        tampered(RELEASE_ARCHIVE, os.path.join(out, "mirror", "fernwick",
                                               os.path.basename(RELEASE_ARCHIVE)))
        with open(out + "/defconfig", "w") as f:
            f.write(self.defconfig(out, os.path.join(self.out, "refuse-download")))
        self.make("defconfig", "BR2_DEFCONFIG=" + out + "/defconfig", out=out, log=log)
        status = self.make("fernwick-source", out=out, log=log, check=False)
        return status != 0 and "has wrong sha256 hash" in read(log) \
            and not os.path.exists(os.path.join(out, "dl", "fernwick",
                                                os.path.basename(RELEASE_ARCHIVE)))


class BusyBoxMergedUsr(WithBusyBox, FirmwareCase):
    """Merged /usr, static libraries only, the zziplib objects, BusyBox made
    first; the external tree of the unpacked release archive, read-only and
    no git work tree of its own, though it lies inside the checkout's (as an
    unpacked release may lie inside a firmware project's)."""

    system = "Buildroot with BusyBox, merged /usr, static, from the release archive"

    fragment = "BR2_ROOTFS_MERGED_USR=y\nBR2_STATIC_LIBS=y\n" + ZZIPLIB
    first = "busybox"

    @classmethod
    def prepare_checkout(cls):
        return unpacked_release(os.path.join(cls.out, "release"))

    @classmethod
    def sources(cls):
        return archived(RELEASE_ARCHIVE)


class UserHost(Variant, FirmwareCase):
    """No BusyBox, built out of tree, on the host and checkout as a user has
    them: a CMake older than 3.25 first on PATH, no help2man, and a checkout
    holding a build directory and a file of the user's."""

    system = "Buildroot without BusyBox, out of tree, on a user's host"

    fragment = NO_BUSYBOX
    out_of_tree = True
    user_host = True
    leftovers = ["build/leftover/object.o", "untracked-note.txt"]

    @classmethod
    def prepare_checkout(cls):
        checkout = copy_sources(os.path.join(cls.out, "checkout"))
        git = ["git", "-C", checkout, "-c", "user.name=user", "-c", "user.email=user@example.org"]
        for step in (["init", "-q"], ["add", "-A"], ["commit", "-q", "-m", "sources"]):
            subprocess.run(git + step, check=True, stdout=subprocess.DEVNULL)
        for name in cls.leftovers:
            os.makedirs(os.path.dirname(os.path.join(checkout, name)), exist_ok=True)
            with open(os.path.join(checkout, name), "w") as f:
                f.write("the user's, never committed\n")
        return checkout

    def test_user_host(self):
        old = fresh(os.path.join(self.out, "old-cmake"))
        with open(old + "/cmake", "w") as f:
            f.write('#!/bin/sh\n[ "$1" != --version ] || { echo "cmake version 3.22.1"; '
                    'exit 0; }\nexec %s "$@"\n' % shutil.which("cmake"))
        os.chmod(old + "/cmake", 0o755)
        build = self.variable("FERNWICK_SRCDIR")
        self.rows([
            ("with CMake 3.22 on PATH, Buildroot's own CMake",
             lambda: self.variable("BR2_CMAKE", old + ":" + os.environ["PATH"])
             == self.out + "/host/bin/cmake"),
            ("no build directory or file of the user's in the package's",
             lambda: not any(os.path.lexists(os.path.join(build, f)) for f in self.leftovers)),
            ("no hook on the image without BusyBox",
             lambda: not self.variable("FERNWICK_TARGET_FINALIZE_HOOKS")),
        ], self.log)


class Configuration(FirmwareCase):
    """The package's options as Kconfig offers them, and its files by
    Buildroot's own style check."""

    system = "Buildroot's configuration"
    libc = "uClibc-ng"

    def offered(self, toolchain):
        out = fresh(os.path.join(WORK, "buildroot", "kconfig"))
        with open(out + "/defconfig", "w") as f:
            f.write("BR2_mipsel=y\nBR2_TOOLCHAIN_EXTERNAL=y\nBR2_TOOLCHAIN_EXTERNAL_CUSTOM=y\n"
                    "BR2_TOOLCHAIN_EXTERNAL_CUSTOM_UCLIBC=y\n" + toolchain + PACKAGE)
        run(["make", "-C", tree, "O=" + out, "BR2_EXTERNAL=" + ROOT + "/packaging/buildroot",
             "BR2_DEFCONFIG=" + out + "/defconfig", "defconfig"], out + ".log")
        return read(out + "/.config")

    def test_kconfig(self):
        comment = "# fernwick needs a toolchain w/ C++, gcc >= 7\n"
        self.rows([
            ("offered with C++ and GCC 12, asking for CMake 3.25",
             lambda: all(o in self.offered(CXX) for o in (
                 PACKAGE, "BR2_HOST_CMAKE_AT_LEAST_3_25=y\n"))),
            ("not offered without C++, and the comment says why",
             lambda: PACKAGE not in (c := self.offered("BR2_TOOLCHAIN_EXTERNAL_GCC_12=y\n"))
             and comment in c),
            ("not offered with GCC 6, and the comment says why",
             lambda: PACKAGE not in (c := self.offered(
                 "BR2_TOOLCHAIN_EXTERNAL_GCC_6=y\nBR2_TOOLCHAIN_EXTERNAL_CXX=y\n"))
             and comment in c),
        ])

    def test_check_package(self):
        package = os.path.join(ROOT, "packaging", "buildroot")
        files = [os.path.relpath(os.path.join(d, f), package)
                 for d, _, names in os.walk(package) for f in names]
        log = os.path.join(WORK, "buildroot", "check-package.log")
        # Its file-type check needs Debian's python3-magic.
        status = run(["/usr/bin/python3", tree + "/utils/check-package", "-b"] + files, log,
                     cwd=package, check=False)
        self.rows([("utils/check-package finds nothing",
                    lambda: status == 0 and "\n0 warnings generated" in read(log))], log)


VARIANTS = [BusyBoxSeparateUsr, BusyBoxMergedUsr, UserHost]

if __name__ == "__main__":
    unittest.main(verbosity=2)
