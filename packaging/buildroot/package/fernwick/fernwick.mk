################################################################################
#
# fernwick
#
################################################################################

FERNWICK_VERSION = 1.0.0
FERNWICK_SITE = $(BR2_EXTERNAL_FERNWICK_PATH)/../..
FERNWICK_SITE_METHOD = local
FERNWICK_LICENSE = MIT
FERNWICK_LICENSE_FILES = LICENSE
FERNWICK_INSTALL_STAGING = YES

# The manual page is made from a copy of the program built for the build
# machine, with Buildroot's host compilers.
FERNWICK_CONF_OPTS = \
	-DFERNWICK_HOST_CC=$(HOSTCC_NOCCACHE) \
	-DFERNWICK_HOST_CXX=$(HOSTCXX_NOCCACHE)

ifeq ($(BR2_PACKAGE_FERNWICK_ZZIPLIB),y)
FERNWICK_DEPENDENCIES += zziplib
FERNWICK_LICENSE += , LGPL-2.0+ or MPL-1.1 (zziplib objects)
FERNWICK_CONF_OPTS += -DFERNWICK_ZZIPLIB=ON \
	-DFERNWICK_ZZIP_NOTICE=$(ZZIPLIB_DIR)/docs/COPYING.LIB
else
FERNWICK_CONF_OPTS += -DFERNWICK_ZZIPLIB=OFF
endif

# The program to the target; the header and the objects to staging only.
FERNWICK_INSTALL_TARGET_OPTS = --component program
FERNWICK_INSTALL_STAGING_OPTS = --component development

$(eval $(cmake-package))
