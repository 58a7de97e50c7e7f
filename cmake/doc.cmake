# The reference of the two installed headers, made by doxygen when it is
# found: HTML in build/doc/html, installed under share/doc/kestrum/html.
# Doxygen's warnings (an undocumented declaration, parameter or result) go to
# build/doc/warnings.log instead of failing the build, so that a newer
# doxygen than ours cannot stop a build; api.HeadersFullyDocumented fails
# while the log holds any.
find_program(KESTRUM_DOXYGEN doxygen)
if(NOT KESTRUM_DOXYGEN)
  message(STATUS "doxygen not found: the HTML reference of the headers is not built")
  return()
endif()

set(KESTRUM_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Doxyfile.in ${CMAKE_BINARY_DIR}/Doxyfile @ONLY)
add_custom_command(
  OUTPUT ${KESTRUM_DOC_DIR}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KESTRUM_DOC_DIR}/html
  COMMAND ${KESTRUM_DOXYGEN} ${CMAKE_BINARY_DIR}/Doxyfile
  DEPENDS ${PROJECT_SOURCE_DIR}/include/kestrum.h ${PROJECT_SOURCE_DIR}/toolkit/toolkit.h
          ${CMAKE_CURRENT_LIST_DIR}/Doxyfile.in
  COMMENT "Writing the HTML reference of kestrum.h and toolkit.h"
  VERBATIM)
add_custom_target(kestrum_doc ALL DEPENDS ${KESTRUM_DOC_DIR}/html/index.html)
# OPTIONAL: a build of some targets only (scripts/demo.sh) still installs.
install(DIRECTORY ${KESTRUM_DOC_DIR}/html/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/html OPTIONAL)
