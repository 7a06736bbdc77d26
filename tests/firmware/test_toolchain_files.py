"""Our own toolchain files as an integrator builds with them, and the guards
met when configuring.

In the source directory of a copy on a path holding a blank (musl, and both
uClibc-ng configurations, whose tests are left to their default: off, with
the emulator out of reach), and out of tree from the read-only checkout into
a path holding a blank, an apostrophe, a dollar sign and a letter beyond
ASCII (glibc, with make).  Configuring and building run where no emulator
can run the target's programs; the installed program then runs under it.
"""

import os
import unittest

from common import (ROOT, WORK, FirmwareCase, Toolchain, copy_sources, fresh, isolated,
                    output, read, run, tree_rows)


class InSourceDirectory(FirmwareCase):
    system = "our toolchain file, in the source directory"

    def build(self, libc):
        self.libc = Toolchain.NAMES[libc]
        work = fresh(os.path.join(WORK, "toolchain-files", libc))
        log = os.path.join(work, "build.log")
        with self.step("building"):
            tc = Toolchain(libc)
            src = copy_sources(os.path.join(work, "in source"))
            options = ["-DCMAKE_TOOLCHAIN_FILE=cmake/%s.cmake" % tc.file,
                       "-DFERNWICK_ZZIPLIB=OFF"]
            # musl: the command an integrator reported; uClibc-ng: the sysroot.
            options += (["-DBUILD_TESTING=OFF"] if libc == "musl"
                        else ["-DCMAKE_SYSROOT=" + tc.staging])
            run(isolated(["cmake"] + options + ["."]), log, cwd=src)
            run(isolated(["cmake", "--build", "."]), log, cwd=src)
            run(["cmake", "--install", ".", "--prefix", "/usr"], log, cwd=src,
                env=dict(os.environ, DESTDIR=work + "/image"))
        rows = tree_rows(tc, work + "/image", work + "/image", src)
        if libc != "musl":
            rows.append(("tests off, said in one line",
                         lambda: read(log).count("\n-- Tests are off") == 1))
        self.rows(rows, log)

    def test_musl(self):
        self.build("musl")

    def test_uclibc(self):
        self.build("uclibc")

    def test_uclibc_buildroot(self):
        self.build("uclibc-buildroot")


class OddPath(FirmwareCase):
    system = "our toolchain file, out of tree on an odd path"

    def test_glibc(self):
        self.libc = Toolchain.NAMES["glibc"]
        work = fresh(os.path.join(WORK, "toolchain-files", "odd"))
        build = os.path.join(work, "it's $HOME é", "build")
        log = os.path.join(work, "build.log")
        with self.step("building"):
            tc = Toolchain("glibc")
            zzip = output(["find", tc.staging, "-name", "libzzip.a"]).split()[0]
            run(isolated(["cmake", "-G", "Unix Makefiles", "-S", ROOT, "-B", build,
                          "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mipsel-linux-gnu.cmake" % ROOT,
                          "-DFERNWICK_ZZIP_LIBRARY=" + zzip, "-DBUILD_TESTING=OFF"],
                         read_only=[ROOT]), log)
            run(isolated(["cmake", "--build", build], read_only=[ROOT]), log)
            run(["cmake", "--install", build, "--prefix", "/usr"], log,
                env=dict(os.environ, DESTDIR=work + "/image"))
        self.rows(tree_rows(tc, work + "/image", work + "/image", build, zziplib=True), log)


class ConfigureGuards(FirmwareCase):
    """Each guard stops configuring with its own message."""

    system = "configuring"
    libc = "musl"

    def test_guards(self):
        work = os.path.join(WORK, "toolchain-files", "guard")
        musl = "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mipsel-linux-musl.cmake" % ROOT
        # The build machine's pkg-config, wrongly set up as the target's.
        host_pc = dict(os.environ, PKG_CONFIG_LIBDIR=output(
            ["pkg-config", "--variable", "pc_path", "pkg-config"]).strip())

        def stops(message, *options, env=None):
            def holds():
                fresh(work)
                log = work + ".log"
                open(log, "w").close()
                status = run(isolated(["cmake", "-S", ROOT, "-B", work] + list(options)), log,
                             env=env, check=False)
                return status != 0 and message in " ".join(read(log).split())
            return holds

        self.rows([
            ("no zziplib for the target: both remedies named",
             stops("set FERNWICK_ZZIP_LIBRARY to it, or configure with -DFERNWICK_ZZIPLIB=OFF",
                   musl)),
            ("the build machine's zziplib refused for the target",
             stops("is an object for another machine (ELF 64-bit little-endian, machine 62; "
                   "the target's: ELF 32-bit little-endian, machine 8)", musl, env=host_pc)),
            ("tests asked for without an emulator",
             stops("configure with -DBUILD_TESTING=OFF", musl, "-DFERNWICK_ZZIPLIB=OFF",
                   "-DBUILD_TESTING=ON")),
        ])


if __name__ == "__main__":
    unittest.main(verbosity=2)
