# The public header compiles on its own as C99 and as C++ with warnings as
# errors, a host written in C links against the library, each library
# exports exactly the names its version script lists, and Doxygen finds
# every declaration of both installed headers documented, with every
# parameter and result.

add_executable(c_host_header ${CMAKE_CURRENT_SOURCE_DIR}/api/c_host.c ${CMAKE_CURRENT_SOURCE_DIR}/api/host_heap.c)
set_target_properties(c_host_header PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(c_host_header PRIVATE -pedantic-errors)
target_link_libraries(c_host_header PRIVATE kestrum ${CMAKE_DL_LIBS})
if(KESTRUM_TOOLKIT_HEAP STREQUAL "mimalloc")
  target_compile_definitions(c_host_header PRIVATE KESTRUM_TOOLKIT_MIMALLOC)
endif()
add_test(NAME api.CHostLinksAndRuns COMMAND c_host_header)
# The host's malloc and operator new stay the system's whatever the toolkit
# heap is; with mimalloc, the library's blocks are mimalloc's.
add_test(NAME api.CHostKeepsItsOwnMalloc COMMAND c_host_header heap)
set_tests_properties(api.CHostLinksAndRuns api.CHostKeepsItsOwnMalloc PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")

add_library(cxx_header_check OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/api/cxx_header.cc)
target_include_directories(cxx_header_check PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/toolkit)
target_compile_options(cxx_header_check PRIVATE -pedantic-errors)

add_test(NAME api.KestrumExportsExactlyItsVersionScript
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:kestrum>
          -DSCRIPT=${CMAKE_SOURCE_DIR}/include/kestrum.map -DPREFIX=pm_
          -P ${CMAKE_CURRENT_SOURCE_DIR}/api/check_exports.cmake)
# include/kestrum.h is the one list of exports: the version script above and
# the misuse test are written from it by scripts/gen_misuse_test.py, and this
# fails (saying what to run) when either is not what the header gives.
add_test(NAME api.ExportListsFollowHeader
  COMMAND ${KESTRUM_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/gen_misuse_test.py --check)
add_test(NAME api.ToolkitExportsOnlyToolkitNames
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:toolkit> -DPREFIX=tk_
          -P ${CMAKE_CURRENT_SOURCE_DIR}/api/check_exports.cmake)
add_test(NAME api.KestrumHasMajorVersionSoname
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:kestrum> -DSONAME=libkestrum.so.${PROJECT_VERSION_MAJOR}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/api/check_soname.cmake)
add_test(NAME api.ToolkitHasItsOwnSoname
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:toolkit> -DSONAME=libkestrum-toolkit.so.1
          -P ${CMAKE_CURRENT_SOURCE_DIR}/api/check_soname.cmake)

# cmake/doc.cmake runs doxygen as part of the build and keeps its warnings.
if(TARGET kestrum_doc)
  add_test(NAME api.HeadersFullyDocumented
    COMMAND ${CMAKE_COMMAND} -DLOG=${CMAKE_BINARY_DIR}/doc/warnings.log
            -P ${CMAKE_CURRENT_SOURCE_DIR}/api/check_doc_warnings.cmake)
else()
  add_test(NAME api.HeadersFullyDocumented COMMAND ${CMAKE_COMMAND} -E echo "KESTRUM-SKIP: doxygen is not installed")
  set_tests_properties(api.HeadersFullyDocumented PROPERTIES SKIP_REGULAR_EXPRESSION "KESTRUM-SKIP")
endif()
