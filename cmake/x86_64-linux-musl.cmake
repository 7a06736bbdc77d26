# Native build for x86_64 against musl, linked statically: Debian's
# compilers with the GCC driver settings of its musl-dev package (from
# musl-tools), which put musl's headers, start files and libraries in place
# of glibc's (and no C++ library headers at all).  Not a cross build: the
# programs run here as they are.
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-specs=/usr/lib/x86_64-linux-musl/musl-gcc.specs")
set(CMAKE_CXX_FLAGS_INIT "-specs=/usr/lib/x86_64-linux-musl/musl-gcc.specs")
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
