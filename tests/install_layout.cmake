# Installs a build tree under a scratch DESTDIR and checks that every
# deliverable lands where it belongs.
# cmake -DBUILD_DIR=... -DLIBDIR=... -DBINDIR=... -DMANDIR=... -DINCLUDEDIR=... -P install_layout.cmake
set(dest ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${dest})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${dest}
          ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected
  ${BINDIR}/hostname
  ${MANDIR}/man1/hostname.1
  ${INCLUDEDIR}/fernwick/tailcopy.h
  ${LIBDIR}/fernwick/tailcopy.o
  ${LIBDIR}/fernwick/info.o
  ${LIBDIR}/fernwick/err.o
  ${LIBDIR}/fernwick/stat.o
  ${LIBDIR}/fernwick/plugin.o)
set(passed 0)
set(failed 0)
foreach(f IN LISTS expected)
  if(EXISTS ${dest}/usr/${f})
    math(EXPR passed "${passed} + 1")
  else()
    message("FAIL not installed: usr/${f}")
    math(EXPR failed "${failed} + 1")
  endif()
endforeach()
file(GLOB_RECURSE installed RELATIVE ${dest}/usr ${dest}/usr/*)
list(LENGTH installed count)
list(LENGTH expected want)
if(NOT count EQUAL want)
  message("FAIL installed ${count} files, expected ${want}: ${installed}")
  math(EXPR failed "${failed} + 1")
endif()
message("${passed} passed, ${failed} failed")
if(failed)
  message(FATAL_ERROR "install layout is wrong")
endif()
