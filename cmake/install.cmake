# Installation of kestrum: the two shared libraries (libkestrum and
# libkestrum-toolkit) with their SONAME links, the headers under
# include/kestrum, a CMake package (find_package(kestrum) gives
# kestrum::kestrum, which brings kestrum::toolkit with it), a pkg-config file,
# and the licence, README, guides and example host as documentation. The
# command-line tool installs itself from tools/.
include(CMakePackageConfigHelpers)

set(KESTRUM_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestrum)

# libkestrum finds libkestrum-toolkit beside it wherever the prefix is moved.
set_target_properties(kestrum PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS toolkit kestrum EXPORT kestrumTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kestrum.h ${PROJECT_SOURCE_DIR}/toolkit/toolkit.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestrum)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.md")
install(FILES ${PROJECT_SOURCE_DIR}/examples/host.c DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

install(EXPORT kestrumTargets NAMESPACE kestrum:: DESTINATION ${KESTRUM_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kestrumConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kestrumConfig.cmake INSTALL_DESTINATION ${KESTRUM_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrumConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrumConfig.cmake ${PROJECT_BINARY_DIR}/kestrumConfigVersion.cmake
  DESTINATION ${KESTRUM_PACKAGE_DIR})

# The .pc file names its prefix relative to its own place, so that an
# installation into any prefix (cmake --install --prefix) stays usable.
file(RELATIVE_PATH KESTRUM_PC_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" KESTRUM_PC_PREFIX "${KESTRUM_PC_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/kestrum.pc.in ${PROJECT_BINARY_DIR}/kestrum.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrum.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
