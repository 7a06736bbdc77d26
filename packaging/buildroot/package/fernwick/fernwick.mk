################################################################################
#
# fernwick
#
################################################################################

FERNWICK_VERSION = 1.0.0
FERNWICK_SITE = $(BUILD_DIR)/fernwick-sources
FERNWICK_SITE_METHOD = local
FERNWICK_LICENSE = MIT
FERNWICK_LICENSE_FILES = LICENSE
FERNWICK_INSTALL_STAGING = YES

# Buildroot copies a local site whole, into the build directory and into
# legal-info's archive.  The site is therefore a copy of the project's
# sources alone, made from the checkout this tree sits in before each
# copy: the files git tracks there when it is a git work tree's top, or
# else (an unpacked release, also one inside another project's work
# tree) every file its .gitignore does not name.  A build directory and
# the developer's other files stay out.
FERNWICK_CHECKOUT = $(BR2_EXTERNAL_FERNWICK_PATH)/../..
define FERNWICK_COLLECT_SOURCES
	rm -rf $(FERNWICK_SITE)
	mkdir -p $(FERNWICK_SITE)
	if [ "$$(git -C $(FERNWICK_CHECKOUT) rev-parse --show-toplevel 2>/dev/null)" = \
		"$$(cd $(FERNWICK_CHECKOUT) && pwd -P)" ]; then \
		git -C $(FERNWICK_CHECKOUT) ls-files -z | \
			rsync -a --from0 --files-from=- --ignore-missing-args \
				$(FERNWICK_CHECKOUT)/ $(FERNWICK_SITE)/; \
	else \
		rsync -a --filter=':- .gitignore' $(RSYNC_VCS_EXCLUSIONS) \
			$(FERNWICK_CHECKOUT)/ $(FERNWICK_SITE)/; \
	fi
endef
FERNWICK_PRE_RSYNC_HOOKS += FERNWICK_COLLECT_SOURCES

# Buildroot removes every manual page from the target, so none is made,
# and help2man is not needed.
FERNWICK_CONF_OPTS = -DFERNWICK_MANUAL=OFF

ifeq ($(BR2_PACKAGE_FERNWICK_ZZIPLIB),y)
FERNWICK_DEPENDENCIES += zziplib
FERNWICK_LICENSE += , LGPL-2.0+ or MPL-1.1 (zziplib objects)
# The objects are taken from zziplib's static library, which its package
# builds only when the toolchain is static-only: build one here from
# zziplib's source, configured as its package configures it.
FERNWICK_ZZIPLIB_BUILDDIR = $(FERNWICK_DIR)/zziplib-static
define FERNWICK_BUILD_STATIC_ZZIPLIB
	PATH=$(BR_PATH) $(BR2_CMAKE) -S $(ZZIPLIB_SRCDIR) \
		-B $(FERNWICK_ZZIPLIB_BUILDDIR) \
		-DCMAKE_TOOLCHAIN_FILE="$(HOST_DIR)/share/buildroot/toolchainfile.cmake" \
		-DCMAKE_INSTALL_PREFIX="/usr" \
		-DCMAKE_COLOR_MAKEFILE=OFF \
		$(ZZIPLIB_CONF_OPTS) \
		-DBUILD_SHARED_LIBS=OFF
	PATH=$(BR_PATH) $(BR2_CMAKE) --build $(FERNWICK_ZZIPLIB_BUILDDIR) \
		--target libzzip -j$(PARALLEL_JOBS)
	cp $(FERNWICK_ZZIPLIB_BUILDDIR)/zzip/libzzip*.a \
		$(FERNWICK_ZZIPLIB_BUILDDIR)/libzzip.a
endef
FERNWICK_PRE_CONFIGURE_HOOKS += FERNWICK_BUILD_STATIC_ZZIPLIB
FERNWICK_CONF_OPTS += -DFERNWICK_ZZIPLIB=ON \
	-DFERNWICK_ZZIP_LIBRARY=$(FERNWICK_ZZIPLIB_BUILDDIR)/libzzip.a \
	-DFERNWICK_ZZIP_NOTICE=$(ZZIPLIB_DIR)/docs/COPYING.LIB
else
FERNWICK_CONF_OPTS += -DFERNWICK_ZZIPLIB=OFF
endif

# The program to the target; the header and the objects to staging only.
FERNWICK_INSTALL_TARGET_OPTS = --component program
FERNWICK_INSTALL_STAGING_OPTS = --component development

# With BusyBox, once every package has installed, whatever the order:
# BusyBox's link /bin/hostname, which the default PATH finds before
# /usr/bin, goes; and the inittab's boot line, "/bin/hostname -F
# /etc/hostname", which names an option this hostname does not have,
# calls BusyBox's applet through the multi-call binary instead (as
# OpenEmbedded's inittab for BusyBox does), so the name is still set at
# boot.
ifeq ($(BR2_PACKAGE_BUSYBOX),y)
define FERNWICK_BUSYBOX_HOSTNAME
	if [ $(TARGET_DIR)/bin/hostname -ef $(TARGET_DIR)/bin/busybox ]; then \
		rm -f $(TARGET_DIR)/bin/hostname; \
	fi
	if [ -f $(TARGET_DIR)/etc/inittab ]; then \
		$(SED) 's%:/bin/hostname -F %:/bin/busybox hostname -F %' \
			$(TARGET_DIR)/etc/inittab; \
	fi
endef
FERNWICK_TARGET_FINALIZE_HOOKS += FERNWICK_BUSYBOX_HOSTNAME
endif

$(eval $(cmake-package))
