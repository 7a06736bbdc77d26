SUMMARY = "Print or set the host name of the system"
DESCRIPTION = "hostname prints the host name, or sets it; written in C++, it needs the C library only."
HOMEPAGE = "https://example.org/fernwick"
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=dec07af527cc0a0475b40dcb7a9a3c2c"

# The manual page is made with help2man, from a copy of the program built
# with the build machine's compilers.
DEPENDS = "help2man-native"

# The sources of the checkout this layer sits in, copied into the work
# directory: nothing is written into the checkout, which may be read-only,
# and a build the developer configured in it is left out.
FILESEXTRAPATHS:prepend := "${FERNWICK_CHECKOUT}:"
SRC_URI = "file://CMakeLists.txt;subdir=${BP} \
           file://LICENSE;subdir=${BP} \
           file://command;subdir=${BP} \
           file://support;subdir=${BP} \
           file://tailcopy;subdir=${BP} \
           "

inherit cmake update-alternatives

# Neither OpenEmbedded-Core nor meta-openembedded has a zziplib recipe, so
# zziplib's objects are left out; the tests, which run the target's programs
# under an emulator, are not built.
EXTRA_OECMAKE = "-DFERNWICK_HOST_CC=${BUILD_PREFIX}gcc \
                 -DFERNWICK_HOST_CXX=${BUILD_PREFIX}g++ \
                 -DFERNWICK_ZZIPLIB=OFF \
                 -DBUILD_TESTING=OFF \
                 "

# Copies of a read-only checkout are read-only: made writable, so that the
# next unpack can remove them.
do_unpack[postfuncs] += "fernwick_writable_sources"
fernwick_writable_sources() {
	chmod -R u+w ${S}
}

# The objects lie in a directory of their own, which the default -dev split
# (${libdir}/*.o) does not take.
FILES:${PN}-dev += "${libdir}/fernwick"

# BusyBox (priority 50) and other recipes of OpenEmbedded-Core (100 at most)
# offer hostname and its manual page as alternatives at these names; this
# one is preferred.
ALTERNATIVE:${PN} = "hostname"
ALTERNATIVE_LINK_NAME[hostname] = "${base_bindir}/hostname"
ALTERNATIVE_TARGET[hostname] = "${bindir}/hostname"
ALTERNATIVE:${PN}-doc = "hostname.1"
ALTERNATIVE_LINK_NAME[hostname.1] = "${mandir}/man1/hostname.1"
ALTERNATIVE_PRIORITY = "110"
