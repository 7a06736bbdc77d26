"""The OpenWrt package, imitated: OpenWrt's build makes its own host tools and
toolchain from sources this machine cannot reach, so its steps are taken
here as its package.mk and cmake.mk take them, with the package's Makefile
read by make itself (OpenWrt's include files stubbed), its recipes run by
make, and opkg's handling of alternatives beside BusyBox's done as opkg does.

Three builds: the feed of the checkout; the feed of the unpacked release
archive, as of a checkout; and the release's upstream-form package, whose
download step takes the archive from a local mirror and keeps it only if it
has PKG_HASH's sha256 (a tampered one is refused), and whose archive is
unpacked as package.mk's default Build/Prepare does.

Each build: the package's Build/Prepare, configured in it with Ninja,
OpenWrt's flags in the environment and its options on the command line,
where neither an emulator nor help2man can be found; then the package's
install recipe and Build/InstallDev.
"""

import hashlib
import os
import shutil
import unittest

from common import (RELEASE, RELEASE_ARCHIVE, ROOT, VERSION, WORK, FirmwareCase, Toolchain,
                    banner_is_ours, copy_sources, ensure_busybox_standin, fresh,
                    hostname_programs, isolated, make_release, mips32el, output, read, run,
                    same_file, tampered, target_run, tree_rows, unpacked_release)

PACKAGE = os.path.join(ROOT, "packaging", "openwrt", "fernwick")
# The release's upstream-form package.
UPSTREAM = os.path.join(RELEASE, "openwrt", "fernwick")
STUBS = """TOPDIR := {stubs}
INCLUDE_DIR := {stubs}
PKG_BUILD_DIR := {build}
PKG_INSTALL_DIR := {build}/ipkg-install
INSTALL_DIR := install -d -m0755
INSTALL_BIN := install -m0755
CP := cp -fpR
BuildPackage = $(Package/$(1))
include Makefile
print: ; @echo '$($(VARIABLE))'
run: ; $(call $(RECIPE),$(DEST))
"""
FLAGS = "-Os -pipe -mips32r2 -mtune=24kc -fno-caller-saves -fno-plt -fstack-protector " \
        "-D_FORTIFY_SOURCE=1"
LDFLAGS = "-Wl,-z,now -Wl,-z,relro"
# OpenWrt's default PATH, from base-files' /etc/profile.
PATH = "/usr/sbin:/usr/bin:/sbin:/bin"
# What OpenWrt's depends.mk leaves out when it hashes a package's files.
IGNORED = ("/.svn", "/.", ":", "!", " ", "#", "/.pkgdir")


def setUpModule():
    make_release()


class Package:
    """The package's Makefile, in the checkout at root (or in directory), as
    OpenWrt's make reads it."""

    def __init__(self, work, build, root=ROOT, directory=None):
        self.dir = directory or os.path.join(root, os.path.relpath(PACKAGE, ROOT))
        self.stubs = fresh(os.path.join(work, "include"))
        for name in ("rules.mk", "package.mk", "cmake.mk"):
            open(os.path.join(self.stubs, name), "w").close()
        self.makefile = os.path.join(work, "package.mk")
        with open(self.makefile, "w") as f:
            f.write(STUBS.format(stubs=self.stubs, build=build))
        self.log = os.path.join(work, "make.log")

    def value(self, variable):
        return output(["make", "-s", "-C", self.dir, "-f", self.makefile, "print",
                       "VARIABLE=" + variable]).strip()

    def recipe(self, name, dest=""):
        run(["make", "-s", "-C", self.dir, "-f", self.makefile, "run", "RECIPE=" + name,
             "DEST=" + dest], self.log)


def download(package, mirror, dl):
    """OpenWrt's download step: PKG_SOURCE fetched into dl (from mirror,
    standing in for PKG_SOURCE_URL) and kept only if its sha256 is PKG_HASH,
    else removed and refused; its path."""
    name = package.value("PKG_SOURCE")
    os.makedirs(dl, exist_ok=True)
    shutil.copy(os.path.join(mirror, name), os.path.join(dl, name))
    with open(os.path.join(dl, name), "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    if digest != package.value("PKG_HASH"):
        os.remove(os.path.join(dl, name))
        raise OSError("Hash of the downloaded file %s does not match (file: %s, requested: %s)"
                      % (name, digest, package.value("PKG_HASH")))
    return os.path.join(dl, name)


def prepare(package, work, src):
    """The package's Build/Prepare, or for a package with PKG_SOURCE,
    package.mk's default: the downloaded archive unpacked beside PKG_BUILD_DIR."""
    if not package.value("PKG_SOURCE"):
        package.recipe("Build/Prepare")
        return
    archive = download(package, work + "/mirror", work + "/dl")
    os.makedirs(os.path.dirname(src))
    run(["tar", "-xzf", archive, "-C", os.path.dirname(src)], package.log)


def watched(package):
    """The files whose content OpenWrt hashes into the package's prepared
    stamp: the package's directory and PKG_FILE_DEPENDS."""
    files = set()
    for top in [package.dir] + package.value("PKG_FILE_DEPENDS").split():
        walk = (os.walk(top) if os.path.isdir(top)
                else [(os.path.dirname(top), [], [os.path.basename(top)])])
        for d, _, names in walk:
            files.update(os.path.join(d, n) for n in names)
    return sorted(f for f in files if os.path.exists(f) and not any(i in f for i in IGNORED))


def stamp(package):
    """The hash in the name of the package's prepared stamp."""
    digests = []
    for name in watched(package):
        with open(name, "rb") as f:
            digests.append(hashlib.md5(f.read()).hexdigest())
    digests.sort()
    return hashlib.md5("\n".join(digests).encode()).hexdigest()


class OpenWrt(FirmwareCase):
    system = "OpenWrt (imitated)"

    def build(self, libc, form):
        """form: "checkout", the checkout's feed; "release", the feed of the
        unpacked release archive; "upstream", the release's package."""
        tc = Toolchain(libc)
        work = fresh(os.path.join(WORK, "openwrt", "%s-%s" % (form, libc)))
        src = os.path.join(work, "build", "fernwick-" + VERSION)
        if form == "upstream":
            os.makedirs(work + "/mirror")
            shutil.copy(RELEASE_ARCHIVE, work + "/mirror")
            package = Package(work, src, directory=UPSTREAM)
        else:
            package = Package(work, src, unpacked_release(work + "/release")
                              if form == "release" else ROOT)
        log = os.path.join(work, "build.log")
        prepare(package, work, src)
        self.copied = output(["find", ".", "-type", "f"], cwd=src).split()
        env = dict(os.environ, CFLAGS=FLAGS, CXXFLAGS=FLAGS, LDFLAGS=LDFLAGS)
        run(isolated(["cmake", "--no-warn-unused-cli", "-DCMAKE_SYSTEM_NAME=Linux",
                      "-DCMAKE_SYSTEM_VERSION=1", "-DCMAKE_SYSTEM_PROCESSOR=mipsel",
                      "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_C_FLAGS_RELEASE=-DNDEBUG",
                      "-DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG", "-DCMAKE_C_COMPILER=" + tc.cc,
                      "-DCMAKE_CXX_COMPILER=" + tc.cxx, "-DCMAKE_ASM_COMPILER=" + tc.cc,
                      "-DCMAKE_EXE_LINKER_FLAGS:STRING=" + LDFLAGS,
                      "-DCMAKE_AR=%sgcc-ar" % tc.prefix, "-DCMAKE_NM=%sgcc-nm" % tc.prefix,
                      "-DCMAKE_RANLIB=%sgcc-ranlib" % tc.prefix,
                      "-DCMAKE_FIND_ROOT_PATH=%s/usr;%s/.." % (tc.staging, tc.bin),
                      "-DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER",
                      "-DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY",
                      "-DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY", "-DCMAKE_STRIP=:",
                      "-DCMAKE_INSTALL_PREFIX=/usr", "-DCMAKE_PREFIX_PATH=" + tc.staging,
                      "-DCMAKE_SKIP_RPATH=TRUE", "-DCMAKE_GENERATOR=Ninja",
                      "-DCMAKE_C_FLAGS=" + FLAGS] + package.value("CMAKE_OPTIONS").split()
                     + ["."], hide=["help2man"]), log, cwd=src, env=env)
        run(isolated(["ninja", "-C", src], hide=["help2man"]), log)
        run(["ninja", "-C", src, "install"], log,
            env=dict(os.environ, DESTDIR=src + "/ipkg-install"))
        package.recipe("Package/fernwick-hostname/install", work + "/package")
        package.recipe("Build/InstallDev", work + "/staging")
        return tc, work, src, package, log

    def check(self, libc, form="checkout"):
        self.libc = Toolchain.NAMES[libc]
        with self.step("building"):
            tc, work, src, package, log = self.build(libc, form)
        program = work + "/package/usr/libexec/fernwick-hostname"
        installed = src + "/ipkg-install"
        self.rows(tree_rows(tc, installed, installed, src, manual=False) + [
            ("tests off, said in one line", lambda: read(log).count("\n-- Tests are off") == 1),
            ("the package holds the program alone, where its alternative points",
             lambda: output(["find", work + "/package", "-type", "f"]).split() == [program]
             and mips32el(program)),
            ("staging holds the header and tailcopy.o",
             lambda: sorted(output(["find", work + "/staging", "-type", "f"]).split()) ==
             [work + "/staging/usr/include/fernwick/tailcopy.h",
              work + "/staging/usr/lib/fernwick/tailcopy.o"]),
        ], log)
        return work, package

    def test_glibc(self):
        self.check("glibc")

    def test_upstream(self):
        """The release's package for OpenWrt's packages feed."""
        self.system = "OpenWrt (imitated), the release's package"
        work, package = self.check("glibc", "upstream")
        self.rows([
            ("the release archive downloaded, its hash checked",
             lambda: same_file(work + "/dl/" + os.path.basename(RELEASE_ARCHIVE),
                               RELEASE_ARCHIVE)),
            ("a tampered archive is refused by the hash check",
             lambda: self.refused(package, work)),
        ])

    def refused(self, package, work):
        tampered(RELEASE_ARCHIVE, work + "/mirror/" + os.path.basename(RELEASE_ARCHIVE))
        try:
            download(package, work + "/mirror", fresh(work + "/dl-tampered"))
        except OSError:
            return not os.listdir(work + "/dl-tampered")
        return False

    def test_musl(self):
        """The feed of the unpacked release archive, as of a checkout."""
        self.system = "OpenWrt (imitated), from the release archive"
        work, package = self.check("musl", "release")
        with self.step("installing and removing the package beside BusyBox"):
            self.alternatives(work, package)
        with self.step("editing a source"):
            self.rebuilds(work)

    def alternatives(self, work, package):
        """BusyBox's image, then the package installed and removed as opkg
        does: its alternative's link made, then BusyBox's applet link back."""
        image = fresh(work + "/image")
        for d in ("bin", "sbin", "usr/bin", "usr/sbin"):
            os.makedirs(os.path.join(image, d))
        shutil.copy(ensure_busybox_standin(WORK), image + "/bin/busybox")
        busybox_files = ["/bin/busybox", "/bin/hostname"]
        os.symlink("busybox", image + "/bin/hostname")
        shutil.copytree(work + "/package", image, dirs_exist_ok=True, symlinks=True)
        (alternative,) = package.value("ALTERNATIVES").split()
        _, link, target = alternative.split(":")
        opkg_alternative(image, link, [alternative], busybox_files)
        self.rows([
            ("/bin/hostname is a link to ours", lambda: os.readlink(image + link) == target),
            ("OpenWrt's PATH finds ours", lambda: banner_is_ours(image, PATH)),
            ("one hostname program", lambda: hostname_programs(image) == [target])])
        os.remove(image + target)
        opkg_alternative(image, link, [], busybox_files)
        self.rows([
            ("removed, /bin/hostname is BusyBox's again",
             lambda: os.readlink(image + link) == "/bin/busybox"
             and "BusyBox" in target_run(image, image + "/bin/busybox", ["--version"],
                                         "hostname")[1]),
        ])

    def rebuilds(self, work):
        """A change in any file the package copies makes OpenWrt prepare and
        build the package again: tried in a copy of the checkout."""
        checkout = copy_sources(fresh(work + "/checkout"))
        package = Package(work, work + "/unused", checkout)
        before = stamp(package)
        with open(checkout + "/command/hostname.cc", "a") as f:
            f.write("// an edit\n")
        self.rows([
            ("every file the package copies is watched",
             lambda: set(os.path.join(checkout, os.path.normpath(f)) for f in self.copied)
             <= set(watched(package))),
            ("an edited source changes the prepared stamp", lambda: stamp(package) != before),
        ])


def opkg_alternative(image, path, alternatives, busybox_files):
    """What opkg does to path once a package with alternatives is installed
    or removed: the installed alternative of highest priority for path (the
    first of equal ones), else BusyBox's binary when BusyBox's package holds
    path, becomes path's link; with neither, path goes."""
    best = None
    for prio, link, target in (a.split(":") for a in alternatives):
        if link == path and (best is None or int(prio) > best[0]):
            best = (int(prio), target)
    target = best[1] if best else "/bin/busybox" if path in busybox_files else None
    if os.path.lexists(image + path):
        if not os.path.islink(image + path):
            raise OSError("%s exists but is not a symlink" % path)
        os.remove(image + path)
    if target:
        os.symlink(target, image + path)


if __name__ == "__main__":
    unittest.main(verbosity=2)
