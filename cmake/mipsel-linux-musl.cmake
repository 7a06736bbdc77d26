# Cross build for 32-bit little-endian MIPS Linux against musl, linked
# statically: the mipsel-linux-gnu toolchain, with the GCC driver settings
# of Debian's musl-dev:mipsel package, which put musl's headers, start
# files and libraries in place of glibc's (and no C++ library headers).
include(${CMAKE_CURRENT_LIST_DIR}/mipsel-linux-gnu.cmake)

set(CMAKE_C_FLAGS_INIT "-specs=/usr/lib/mipsel-linux-musl/musl-gcc.specs")
set(CMAKE_CXX_FLAGS_INIT "-specs=/usr/lib/mipsel-linux-musl/musl-gcc.specs")
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian has no sysroot of libraries built for musl: nothing is looked up
# for the target unless a cache variable names it.
unset(CMAKE_FIND_ROOT_PATH)

# Static programs need no library path under the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel)
