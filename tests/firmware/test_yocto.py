"""The Yocto layer through the real BitBake and OpenEmbedded-Core (the pinned
snapshots): our layer, in the unpacked release archive as in a checkout,
added and parsed, the recipe's values as BitBake evaluates them (through
tinfoil), and its do_fetch and do_unpack run for real from the read-only
tree; and the release's recipe, in a layer of the check's own, fetching the
release archive through a local premirror alone, checked by its sha256 (a
tampered archive refused) and unpacked.

BitBake's compile and later tasks need the cross toolchain OpenEmbedded
builds, whose sources this machine cannot reach, so they are imitated from
the release recipe's unpacked sources with the values BitBake evaluated:
built out of tree with the recipe's CMake options, Yocto's toolchain file
and flags and a PATH of its host tools only; installed; split into the
recipe's packages by its PACKAGES and FILES as packaging does; and its
alternatives installed beside BusyBox's with the build machine's
update-alternatives, for usrmerge and split layouts.

BitBake does not run as root: as root, it runs as nobody, in build
directories of its own, with OpenEmbedded-Core's recipes other than
BusyBox's masked, so that parsing takes seconds.
"""

import fnmatch
import hashlib
import json
import os
import re
import shutil
import unittest

from common import (HERE, NATIVE_MANUAL, RELEASE, RELEASE_ARCHIVE, ROOT, VERSION, WORK,
                    FirmwareCase, StepFailed, Toolchain, archived, banner_is_ours,
                    ensure_busybox_standin, files_under, fresh, isolated, make_release, read,
                    resolve, run, same_file, tampered, tree_rows, unpacked_release,
                    unpacked_system)

LAYER = "packaging/yocto/meta-fernwick"
RECIPE = LAYER + "/recipes-core/fernwick/fernwick_%s.bb" % VERSION
LOCAL_CONF = """
MACHINE = "qemumips"
# qemumips alone is big-endian; the target is 32-bit little-endian MIPS.
DEFAULTTUNE = "mips32r2el"
BB_NO_NETWORK = "1"
BB_NUMBER_THREADS = "2"
BB_NUMBER_PARSE_THREADS = "2"
# Its tarball would be downloaded.
INHERIT_DISTRO:remove = "uninative"
BBMASK = "/meta/recipes-(?!core/busybox/)"
"""
# The release's recipe fetches through a local premirror alone.
PREMIRROR = """
PREMIRRORS:prepend = "https?://.*/.* file://{mirror}/"
BB_FETCH_PREMIRRORONLY = "1"
"""
RELEASE_LAYER = """BBPATH .= ":${LAYERDIR}"
BBFILES += "${LAYERDIR}/recipes-*/*/*.bb"
BBFILE_COLLECTIONS += "release"
BBFILE_PATTERN_release = "^${LAYERDIR}/"
BBFILE_PRIORITY_release = "6"
LAYERDEPENDS_release = "core"
LAYERSERIES_COMPAT_release = %s
"""
NOBODY = 65534


def nobody_can_reach(path):
    """Whether every directory above path lets others through."""
    path = os.path.dirname(os.path.abspath(path))
    while path != "/":
        if not os.stat(path).st_mode & 0o001:
            return False
        path = os.path.dirname(path)
    return True


class BitBake:
    """A build directory of its own, with a layer added, over OpenEmbedded-Core
    and BitBake unpacked where nobody, who runs BitBake, reaches them; the
    directory holding the layer is kept read-only."""

    def __init__(self, name, checkout, layer, conf=""):
        self.work = os.path.join(TOP, name)
        os.makedirs(self.work)
        os.chown(self.work, NOBODY, NOBODY)
        self.checkout, self.layer = checkout, layer
        self.build = os.path.join(self.work, "build")
        oe, bitbake = (unpacked_system(system, TOP + "/systems")
                       for system in ("openembedded-core", "bitbake"))
        self.env = {"HOME": TOP + "/home", "TERM": "dumb", "LANG": "en_US.UTF-8",
                    "LOCPATH": TOP + "/locale", "BB_ENV_PASSTHROUGH_ADDITIONS": "LOCPATH",
                    "PATH": "/usr/local/bin:/usr/bin:/bin", "BITBAKEDIR": bitbake}
        self.init = ". %s/oe-init-build-env %s >/dev/null" % (oe, self.build)
        self.run("true", "init")
        with open(self.build + "/conf/local.conf", "a") as f:
            f.write(LOCAL_CONF + conf)
        shutil.copy(os.path.join(HERE, "yocto_values.py"), self.work)
        self.run("bitbake-layers add-layer " + layer, "add-layer")

    def run(self, command, name, check=True):
        """command in the build environment, as nobody, with the checkout
        read-only; its output in NAME.log."""
        log = os.path.join(self.work, name + ".log")
        return run(isolated(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                             "--clear-groups", "env", "-i"]
                            + ["%s=%s" % kv for kv in self.env.items()]
                            + ["bash", "-c", "%s && %s" % (self.init, command)],
                            read_only=[self.checkout]), log, check=check), log

    def values(self, recipe, names=(), usrmerge=False):
        with open(self.build + "/conf/auto.conf", "w") as f:
            f.write('DISTRO_FEATURES:append = " usrmerge"\n' if usrmerge else "")
        out = os.path.join(self.work, "values-%s%s.json" % (recipe, "-usrmerge" * usrmerge))
        self.run("python3 %s/yocto_values.py %s %s %s" % (self.work, out, recipe,
                                                          " ".join(names)), "values-" + recipe)
        with open(out) as f:
            return json.load(f)


def prepare_top():
    """The checks' work directory, reachable by nobody, with what every build
    directory shares: the systems' trees, a UTF-8 locale and a home."""
    top = os.path.join(WORK, "yocto")
    if not nobody_can_reach(top):
        top = "/tmp/fernwick-yocto"
    fresh(top)
    for name in ("openembedded-core", "bitbake"):
        unpacked_system(name, top + "/systems")
    os.makedirs(top + "/locale")
    run(["localedef", "-i", "en_US", "-f", "UTF-8", top + "/locale/en_US.UTF-8"],
        top + "/locale.log")
    os.makedirs(top + "/home")
    for d in (top + "/home", top):
        os.chown(d, NOBODY, NOBODY)
    return top


def release_layer(top):
    """A layer of the check's own holding the release's upstream-form recipe
    alone, compatible with the series ours is."""
    layer = os.path.join(top, "meta-release")
    recipe = os.path.join(layer, "recipes-core", "fernwick", "fernwick_%s.bb" % VERSION)
    os.makedirs(os.path.dirname(recipe))
    shutil.copy(os.path.join(RELEASE, "yocto", os.path.basename(recipe)), recipe)
    (series,) = re.findall(r'^LAYERSERIES_COMPAT_fernwick = (".*")$',
                           read(os.path.join(ROOT, LAYER, "conf", "layer.conf")), re.M)
    os.makedirs(layer + "/conf")
    with open(layer + "/conf/layer.conf", "w") as f:
        f.write(RELEASE_LAYER % series)
    return layer, recipe


def warnings(log):
    return [line for line in read(log).splitlines()
            if line.startswith(("WARNING:", "ERROR:"))
            and "Buildfile specified, dependencies will not be handled" not in line]


VALUES = ["S", "SRC_URI", "EXTRA_OECMAKE", "LICENSE", "LIC_FILES_CHKSUM", "DL_DIR"]


def setUpModule():
    """Our layer, in the unpacked release archive as in a checkout; and the
    release's recipe in a layer of its own, fetching the archive from a
    local premirror.  Each recipe evaluated, fetched and unpacked."""
    global TOP, bitbake, recipe, unpacked, upstream, released, from_archive
    try:
        make_release()
        TOP = prepare_top()
        checkout = unpacked_release(TOP + "/release")
        bitbake = BitBake("in-house", checkout, os.path.join(checkout, LAYER))
        recipe = bitbake.values("fernwick", VALUES)
        bitbake.run("bitbake -b %s/%s -c unpack" % (checkout, RECIPE), "unpack")
        layer, released = release_layer(TOP)
        os.makedirs(TOP + "/mirror")
        shutil.copy(RELEASE_ARCHIVE, TOP + "/mirror")
        upstream = BitBake("upstream", layer, layer, PREMIRROR.format(mirror=TOP + "/mirror"))
        from_archive = upstream.values("fernwick", VALUES)
        upstream.run("bitbake -b %s -c unpack" % released, "unpack")
    except (OSError, StepFailed) as failure:
        raise RuntimeError("adding the layers, evaluating the recipes, fetching and unpacking: "
                           "Yocto (BitBake): %s" % failure) from None
    unpacked = from_archive["variables"]["S"]


class Layer(FirmwareCase):
    system = "Yocto (BitBake)"
    libc = "any C library"

    def test_layer(self):
        add = os.path.join(bitbake.work, "add-layer.log")
        self.rows([("the layer is added with no warning", lambda: not warnings(add))], add)
        status, parse = bitbake.run("bitbake -p", "parse", check=False)
        self.rows([("every recipe parses with no warning",
                    lambda: status == 0 and not warnings(parse))], parse)

    def test_fetch_unpack(self):
        wanted = sorted(u.split(";")[0][len("file://"):]
                        for u in recipe["variables"]["SRC_URI"].split())
        log = os.path.join(bitbake.work, "unpack.log")
        inhouse = recipe["variables"]["S"]
        with open(os.path.join(inhouse, "LICENSE"), "rb") as f:
            licence = "file://LICENSE;md5=" + hashlib.md5(f.read()).hexdigest()
        self.rows([
            ("the sources unpacked are those SRC_URI names, from the read-only checkout",
             lambda: sorted(os.listdir(inhouse)) == wanted
             and all(same_file(os.path.join(inhouse, f), os.path.join(ROOT, f))
                     for f in files_under(inhouse, "*"))),
            ("fetch and unpack with no warning", lambda: not warnings(log)),
            ("MIT, with LICENSE's checksum",
             lambda: (recipe["variables"]["LICENSE"], recipe["variables"]["LIC_FILES_CHKSUM"])
             == ("MIT", licence)),
        ], log)


class Upstream(FirmwareCase):
    """The release's recipe: its archive fetched through the premirror alone,
    checked by its sha256 and unpacked."""

    system = "Yocto (BitBake), the release's recipe"
    libc = "any C library"

    def test_fetch_unpack(self):
        log = os.path.join(upstream.work, "unpack.log")
        name = os.path.basename(RELEASE_ARCHIVE)
        self.rows([
            ("its layer added with no warning",
             lambda: not warnings(os.path.join(upstream.work, "add-layer.log"))),
            ("the release archive fetched from the premirror", lambda: same_file(
                os.path.join(from_archive["variables"]["DL_DIR"], name), RELEASE_ARCHIVE)),
            ("the sources unpacked are the archive's",
             lambda: files_under(unpacked, "*") == archived(RELEASE_ARCHIVE)
             and same_file(unpacked + "/LICENSE", ROOT + "/LICENSE")),
            ("fetch and unpack with no warning", lambda: not warnings(log)),
            ("the same licence and build options as our layer's", lambda: all(
                from_archive["variables"][v] == recipe["variables"][v]
                for v in ("LICENSE", "LIC_FILES_CHKSUM", "EXTRA_OECMAKE"))),
            ("a tampered archive is refused by its checksum", self.tampered_refused),
        ], log)

    def tampered_refused(self):
        name = os.path.basename(RELEASE_ARCHIVE)
        downloads = from_archive["variables"]["DL_DIR"]
        for f in os.listdir(downloads):
            if f.startswith(name):
                os.remove(os.path.join(downloads, f))
        tampered(RELEASE_ARCHIVE, os.path.join(TOP, "mirror", name))
        try:
            status, log = upstream.run("bitbake -b %s -c fetch -f" % released, "tampered",
                                       check=False)
        finally:
            shutil.copy(RELEASE_ARCHIVE, os.path.join(TOP, "mirror", name))
        return status != 0 and "Checksum mismatch" in read(log) \
            and not os.path.exists(os.path.join(downloads, name))


class Build(FirmwareCase):
    """The imitated compile, install and packaging."""

    system = "Yocto (compile imitated)"

    def build(self, libc):
        tc = Toolchain(libc)
        work = fresh(os.path.join(WORK, "yocto-build", libc))
        src, build = work + "/fernwick-" + VERSION, work + "/build"
        shutil.copytree(unpacked, src, symlinks=True)
        hosttools = fresh(work + "/hosttools")
        for tool in ("cmake", "ninja", "gcc", "g++", "cc", "c++", "as", "ld", "ar", "help2man",
                     "perl", "sh"):
            os.symlink(shutil.which(tool), os.path.join(hosttools, tool))
        flags = ("-O2 -pipe -g -feliminate-unused-debug-types -ffile-prefix-map=%s=/usr/src/debug "
                 "-ffile-prefix-map=%s=/usr/src/debug -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64"
                 % (src, build))
        toolchain = work + "/toolchain.cmake"
        with open(toolchain, "w") as f:
            f.write(TOOLCHAIN.format(tc=tc, flags=flags))
        log = work + "/build.log"
        hostpath = ["env", "PATH=" + hosttools]
        run(isolated(hostpath + [
            "cmake", "-G", "Ninja", "-DCMAKE_MAKE_PROGRAM=ninja", src, "-B", build,
            "-DCMAKE_TOOLCHAIN_FILE=" + toolchain, "-DCMAKE_INSTALL_PREFIX=/usr",
            "-DCMAKE_INSTALL_BINDIR=bin", "-DCMAKE_INSTALL_LIBDIR=lib",
            "-DCMAKE_INSTALL_INCLUDEDIR=include", "-DCMAKE_INSTALL_DATAROOTDIR=share",
            "-DCMAKE_INSTALL_SO_NO_EXE=0", "-DCMAKE_NO_SYSTEM_FROM_IMPORTED=1", "-Wno-dev"]
            + from_archive["variables"]["EXTRA_OECMAKE"].split(), read_only=[src]), log)
        run(isolated(hostpath + ["cmake", "--build", build], read_only=[src]), log)
        run(["cmake", "--build", build, "--target", "install"], log,
            env=dict(os.environ, DESTDIR=work + "/image"))
        return tc, work, build, log

    def check(self, libc):
        self.libc = Toolchain.NAMES[libc]
        with self.step("building"):
            tc, work, build, log = self.build(libc)
        image = work + "/image"
        packages = split(image, from_archive)
        self.rows(tree_rows(tc, image, image, build) + [
            ("every installed file is in a package", lambda: "" not in packages),
            ("fernwick holds the program",
             lambda: packages.get("fernwick") == ["/usr/bin/hostname"]),
            ("fernwick-doc holds the manual and the licence",
             lambda: packages.get("fernwick-doc") == ["/usr/share/doc/Fernwick/LICENSE",
                                                      "/usr/share/man/man1/hostname.1"]),
            ("fernwick-dev holds the header and the object",
             lambda: packages.get("fernwick-dev") == ["/usr/include/fernwick/tailcopy.h",
                                                      "/usr/lib/fernwick/tailcopy.o"]),
        ], log)
        return image

    def test_glibc(self):
        self.check("glibc")

    def test_musl(self):
        image = self.check("musl")
        for layout in ("usrmerge", "split"):
            with self.subTest(layout=layout), self.step("installing the alternatives"):
                self.alternatives(image, layout)

    def alternatives(self, built, layout):
        """The image with BusyBox's hostname alternative and the recipe's
        installed with update-alternatives, as the class has them."""
        self.system = "Yocto with BusyBox, %s" % layout
        usrmerge = layout == "usrmerge"
        ours = upstream.values("fernwick", usrmerge=usrmerge)["alternatives"]
        theirs = upstream.values("busybox", ["ALTERNATIVE_PRIORITY", "base_bindir",
                                             "BUSYBOX_SPLIT_SUID"], usrmerge)["variables"]
        image = fresh(os.path.join(WORK, "yocto-build", "image-" + layout))
        shutil.copytree(built, image, symlinks=True, dirs_exist_ok=True)
        if usrmerge:
            for d in ("bin", "sbin", "lib"):
                os.symlink("usr/" + d, os.path.join(image, d))
        bindir = theirs["base_bindir"]
        busybox = bindir + "/busybox" + (".nosuid" if theirs["BUSYBOX_SPLIT_SUID"] == "1" else "")
        os.makedirs(image + bindir, exist_ok=True)
        shutil.copy(ensure_busybox_standin(WORK), image + busybox)
        for d in ("etc/alternatives", "var/lib/dpkg/alternatives"):
            os.makedirs(os.path.join(image, d), exist_ok=True)
        # The class renames a target that is its own link's name.
        for alt in ours.values():
            if alt["link"] == alt["target"]:
                alt["target"] += ".fernwick"
                os.rename(image + alt["link"], image + alt["target"])
        log = image + ".log"
        install = ["update-alternatives", "--root", image, "--install"]
        run(install + [bindir + "/hostname", "hostname", busybox, theirs["ALTERNATIVE_PRIORITY"]],
            log)
        for name, alt in ours.items():
            run(install + [alt["link"], name, alt["target"], str(alt["priority"])], log)
        self.rows([
            ("our hostname at BusyBox's link", lambda: ours["hostname"]["link"] ==
             bindir + "/hostname" and not warnings(log) and "warning" not in read(log)),
            ("boot scripts' PATH finds ours",
             lambda: banner_is_ours(image, "/sbin:/bin:/usr/sbin:/usr/bin")),
            ("a login's PATH finds ours", lambda: banner_is_ours(image, "/usr/bin:/bin")),
            ("the manual page is ours",
             lambda: same_file(image + resolve(image, "/usr/share/man/man1/hostname.1"),
                               NATIVE_MANUAL)),
        ], log)


def split(image, values):
    """The installed files (paths from the image root) of each package, as
    packaging assigns them: each to the first package in PACKAGES whose
    FILES names it or a directory above it; "" holds those of none."""
    out = {}
    for path in sorted("/" + f for f in files_under(image, "*")):
        owner = next((p for p in values["packages"] for pattern in values["files"][p]
                      if matches(path, pattern)), "")
        out.setdefault(owner, []).append(path)
    return out


def matches(path, pattern):
    """Whether FILES' pattern takes path: a glob, whose matches that are
    directories take everything beneath them."""
    parts, globs = path.strip("/").split("/"), pattern.strip("/").split("/")
    return len(globs) <= len(parts) and all(
        fnmatch.fnmatchcase(part, glob) for part, glob in zip(parts, globs))


TOOLCHAIN = """set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(CMAKE_C_COMPILER "{tc.cc}")
set(CMAKE_CXX_COMPILER "{tc.cxx}")
set(CMAKE_AR "{tc.prefix}ar" CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB "{tc.prefix}ranlib" CACHE FILEPATH "Archive indexer")
set(CMAKE_C_FLAGS "{flags}" CACHE STRING "CFLAGS")
set(CMAKE_CXX_FLAGS "{flags} -fvisibility-inlines-hidden" CACHE STRING "CXXFLAGS")
set(CMAKE_EXE_LINKER_FLAGS "-Wl,-O1 -Wl,--hash-style=gnu -Wl,--as-needed -Wl,-z,relro,-z,now" CACHE STRING "LDFLAGS")
set(CMAKE_SYSROOT "{tc.staging}")
set(CMAKE_FIND_ROOT_PATH "{tc.staging}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
"""


if __name__ == "__main__":
    unittest.main(verbosity=2)
