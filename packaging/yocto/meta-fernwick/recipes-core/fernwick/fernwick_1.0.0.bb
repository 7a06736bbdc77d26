SUMMARY = "Print or set the host name of the system"
DESCRIPTION = "hostname prints the current host name, or sets it when given \
a new name.  It is written in C++ but links against the C library only.  The \
development package holds the tailcopy object and its header, and with the \
zziplib option four of zziplib's modules as objects."
HOMEPAGE = "https://example.org/fernwick"

LICENSE = "MIT${@bb.utils.contains('PACKAGECONFIG', 'zziplib', ' & (LGPL-2.0-or-later | MPL-1.1)', '', d)}"
LICENSE:${PN} = "MIT"
LICENSE:${PN}-doc = "MIT"
LICENSE:${PN}-dev = "${LICENSE}"
LIC_FILES_CHKSUM = "file://LICENSE;md5=dec07af527cc0a0475b40dcb7a9a3c2c"

# The checkout itself, built out of tree and left as it is (no links to the
# work directory are made in it).
inherit cmake externalsrc
EXTERNALSRC = "${FERNWICK_CHECKOUT}"
EXTERNALSRC_BUILD = "${WORKDIR}/build"
EXTERNALSRC_SYMLINKS = ""

# The manual page is made with help2man, from a copy of the program built
# with the build machine's compilers.
DEPENDS = "help2man-native"
EXTRA_OECMAKE = "-DFERNWICK_HOST_CC=${BUILD_PREFIX}gcc -DFERNWICK_HOST_CXX=${BUILD_PREFIX}g++"

# zziplib's objects need its static library in the sysroot.
PACKAGECONFIG ??= ""
PACKAGECONFIG[zziplib] = "-DFERNWICK_ZZIPLIB=ON,-DFERNWICK_ZZIPLIB=OFF,zziplib"

# The objects lie in a directory of their own, which the default -dev split
# (${libdir}/*.o) does not take.
FILES:${PN}-dev += "${libdir}/fernwick"
