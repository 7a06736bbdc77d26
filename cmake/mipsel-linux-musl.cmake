# Cross build for 32-bit little-endian MIPS Linux against musl, linked
# statically: Debian's mipsel-linux-gnu compilers with the specs file of its
# musl-dev:mipsel package, which puts musl's headers, start files and
# libraries in place of glibc's (and no C++ library headers at all).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
set(CMAKE_C_FLAGS_INIT "-specs=/usr/lib/mipsel-linux-musl/musl-gcc.specs")
set(CMAKE_CXX_FLAGS_INIT "-specs=/usr/lib/mipsel-linux-musl/musl-gcc.specs")
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian has no sysroot of libraries built for musl: nothing is looked up
# for the target unless a cache variable names it.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static programs need no library path under the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel)
