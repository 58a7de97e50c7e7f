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
# The same with the heap switched to malloc: the library's blocks move, the host's stay.
add_test(NAME api.CHostKeepsItsOwnMallocWithTheHeapSwitch COMMAND c_host_header heap)
set_tests_properties(api.CHostLinksAndRuns api.CHostKeepsItsOwnMalloc PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
set_tests_properties(api.CHostKeepsItsOwnMallocWithTheHeapSwitch PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;KESTRUM_HEAP=malloc")

# A host can debug with kestrum inside: memcheck (the library turns to malloc
# under it by itself) and AddressSanitizer's leak check (with KESTRUM_HEAP)
# see the library's blocks, the host's leaks of them included. An
# uninstrumented host gets the sanitizer's runtime preloaded.
find_program(KESTRUM_VALGRIND valgrind)
if(KESTRUM_VALGRIND AND NOT KESTRUM_SANITIZE AND NOT KESTRUM_SANITIZE_THREADS)
  add_test(NAME api.HostUnderValgrindSeesItsLeaksAndNoErrors
    COMMAND ${KESTRUM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/api/check_host_leaks.py valgrind $<TARGET_FILE:c_host_header>)
endif()
if(KESTRUM_SANITIZE)
  add_test(NAME api.HostUnderAddressSanitizerSeesItsLeaks
    COMMAND ${KESTRUM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/api/check_host_leaks.py asan $<TARGET_FILE:c_host_header>)
elseif(NOT KESTRUM_SANITIZE_THREADS AND CMAKE_C_COMPILER_ID STREQUAL "GNU")
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libasan.so
    OUTPUT_VARIABLE kestrum_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${kestrum_asan_runtime}" AND EXISTS "${kestrum_asan_runtime}")
    add_test(NAME api.HostUnderAddressSanitizerSeesItsLeaks
      COMMAND ${KESTRUM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/api/check_host_leaks.py asan $<TARGET_FILE:c_host_header>
              ${kestrum_asan_runtime})
  endif()
endif()

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
