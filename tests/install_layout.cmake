# Installs each component of a build tree alone, under a scratch DESTDIR of
# its own, and checks that it lays out exactly its files.
# cmake -DBUILD_DIR=... -DLIBDIR=... -DBINDIR=... -DMANDIR=... -DINCLUDEDIR=... -DDOCDIR=...
#       -P install_layout.cmake
set(program
  ${BINDIR}/hostname
  ${MANDIR}/man1/hostname.1
  ${DOCDIR}/LICENSE)
set(development
  ${INCLUDEDIR}/fernwick/tailcopy.h
  ${LIBDIR}/fernwick/tailcopy.o
  ${LIBDIR}/fernwick/info.o
  ${LIBDIR}/fernwick/err.o
  ${LIBDIR}/fernwick/stat.o
  ${LIBDIR}/fernwick/plugin.o
  ${DOCDIR}/LICENSE
  ${DOCDIR}/zziplib/copyright)

set(passed 0)
set(failed 0)
foreach(component program development)
  set(dest ${BUILD_DIR}/install-check/${component})
  file(REMOVE_RECURSE ${dest})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${dest}
            ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr --component ${component}
    RESULT_VARIABLE status OUTPUT_QUIET)
  file(GLOB_RECURSE installed RELATIVE ${dest}/usr ${dest}/usr/*)
  list(SORT installed)
  set(expected ${${component}})
  list(SORT expected)
  if(status EQUAL 0 AND installed STREQUAL expected)
    math(EXPR passed "${passed} + 1")
  else()
    message("FAIL component ${component} (install status ${status})\n"
            "  want ${expected}\n  got  ${installed}")
    math(EXPR failed "${failed} + 1")
  endif()
endforeach()
message("${passed} passed, ${failed} failed")
if(failed)
  message(FATAL_ERROR "install layout is wrong")
endif()
