# Installs each component of a build tree alone, with the prefix /usr, under
# DEST/<component>, and checks that it lays out exactly the files the build
# lists as its deliverables (BUILD_DIR/delivered.cmake).
# cmake -DBUILD_DIR=... [-DDEST=...] -P install_layout.cmake
if(NOT DEST)
  set(DEST ${BUILD_DIR}/install-check)
endif()
include(${BUILD_DIR}/delivered.cmake)

set(passed 0)
set(failed 0)
foreach(component program development)
  set(dest ${DEST}/${component})
  file(REMOVE_RECURSE ${dest})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${dest}
            ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr --component ${component}
    RESULT_VARIABLE status OUTPUT_QUIET)
  file(GLOB_RECURSE installed RELATIVE ${dest}/usr ${dest}/usr/*)
  list(SORT installed)
  set(expected ${${component}})
  list(SORT expected)
  if(status EQUAL 0 AND expected AND installed STREQUAL expected)
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
