# Cross build for 32-bit little-endian MIPS Linux against uClibc-ng, linked
# dynamically as Buildroot links: the mipsel-linux-gnu toolchain, pointed at
# the sysroot that scripts/build-uclibc makes (build/deps/mipsel-uclibc, or
# CMAKE_SYSROOT).  The compilers see uClibc-ng's and the kernel's headers
# and not glibc's (nor the C++ library's, which is built for glibc); the
# driver takes the start files and libc.so from the sysroot first (-B), and
# names uClibc-ng's loader (-muclibc).
include(${CMAKE_CURRENT_LIST_DIR}/mipsel-linux-gnu.cmake)

if(NOT CMAKE_SYSROOT)
  get_filename_component(CMAKE_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/deps/mipsel-uclibc
                         ABSOLUTE)
endif()
if(NOT EXISTS ${CMAKE_SYSROOT}/usr/lib/libc.so)
  message(FATAL_ERROR "No uClibc-ng sysroot at ${CMAKE_SYSROOT}: make it with "
                      "'sh scripts/setup' (or scripts/build-uclibc), or set CMAKE_SYSROOT")
endif()
set(CMAKE_FIND_ROOT_PATH ${CMAKE_SYSROOT})

# The compiler's own headers (stddef.h, stdarg.h, ...) stay in view.
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=include
                OUTPUT_VARIABLE compiler_include OUTPUT_STRIP_TRAILING_WHITESPACE)
string(JOIN " " uclibc_flags -muclibc -B${CMAKE_SYSROOT}/usr/lib
       -nostdinc -isystem ${CMAKE_SYSROOT}/usr/include -isystem ${compiler_include})
set(CMAKE_C_FLAGS_INIT "${uclibc_flags}")
set(CMAKE_CXX_FLAGS_INIT "${uclibc_flags} -nostdinc++")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L ${CMAKE_SYSROOT})
