# The installed package: one test installs the build into a prefix of its
# own, and two more build a small outside C program against that prefix,
# once through find_package(kestrum) and once through pkg-config. A missing
# pkg-config skips its test rather than failing it.
set(KESTRUM_INSTALL_TEST_DIR ${CMAKE_BINARY_DIR}/install-test)
if(KESTRUM_SANITIZE)
  set(KESTRUM_CONSUMER_FLAGS "-fsanitize=address,undefined -fno-sanitize-recover=all")
else()
  set(KESTRUM_CONSUMER_FLAGS "")
endif()

set(install_script ${CMAKE_CURRENT_SOURCE_DIR}/install/check_install.cmake)
set(install_args
  -DBUILD_DIR=${CMAKE_BINARY_DIR}
  -DWORK_DIR=${KESTRUM_INSTALL_TEST_DIR}
  -DCONSUMER_DIR=${CMAKE_CURRENT_SOURCE_DIR}/install/consumer
  -DGENERATOR=${CMAKE_GENERATOR}
  -DC_COMPILER=${CMAKE_C_COMPILER}
  "-DFLAGS=${KESTRUM_CONSUMER_FLAGS}"
  -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
  -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR}
  -DBINDIR=${CMAKE_INSTALL_BINDIR}
  -DDOCDIR=${CMAKE_INSTALL_DOCDIR}
  -DMANDIR=${CMAKE_INSTALL_MANDIR}
  -DDATADIR=${CMAKE_INSTALL_DATADIR}
  -DSOVERSION=${PROJECT_VERSION_MAJOR}
  -DVERSION=${PROJECT_VERSION}
  -DTOOL=${KESTRUM_BUILD_TOOLS}
  -DHTML=$<TARGET_EXISTS:kestrum_doc>)

add_test(NAME install.InstallsLibrariesHeadersPackageAndTool
  COMMAND ${CMAKE_COMMAND} ${install_args} -DMODE=install -P ${install_script})
set_tests_properties(install.InstallsLibrariesHeadersPackageAndTool PROPERTIES
  FIXTURES_SETUP kestrum_installed)

add_test(NAME install.OutsideProjectBuildsWithFindPackage
  COMMAND ${CMAKE_COMMAND} ${install_args} -DMODE=cmake -P ${install_script})
add_test(NAME install.OutsideProgramBuildsWithPkgConfig
  COMMAND ${CMAKE_COMMAND} ${install_args} -DMODE=pkgconfig -P ${install_script})
set_tests_properties(install.OutsideProjectBuildsWithFindPackage install.OutsideProgramBuildsWithPkgConfig
  PROPERTIES FIXTURES_REQUIRED kestrum_installed
             SKIP_REGULAR_EXPRESSION "KESTRUM-SKIP"
             ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
