# The Python package's tests (pytest), run by ctest. Included from
# python/CMakeLists.txt. The package is imported from the build tree; the
# sanitizer build's extension needs the ASan runtime loaded first, so python3
# runs with it preloaded there, and leaks are checked by conftest.py at the
# end of the session rather than at exit (see there).
set(kestrum_pytest_env
  PYTHONPATH=${CMAKE_BINARY_DIR}/python
  KESTRUM_TOOL=$<TARGET_FILE:kestrum_tool>
  PYTHONDONTWRITEBYTECODE=1)
if(KESTRUM_SANITIZE)
  # libstdc++ is preloaded too: ASan finds the C++ runtime's throw only
  # when it is there from the start, and python3 itself is not C++.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
    OUTPUT_VARIABLE kestrum_libasan OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so
    OUTPUT_VARIABLE kestrum_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND kestrum_pytest_env "LD_PRELOAD=${kestrum_libasan} ${kestrum_libstdcxx}" PYTHONMALLOC=malloc
    ASAN_OPTIONS=detect_leaks=1:leak_check_at_exit=0:abort_on_error=1)
endif()
add_test(NAME python.Package
  COMMAND ${CMAKE_COMMAND} -E env ${kestrum_pytest_env}
          ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_LIST_DIR})
set_tests_properties(python.Package PROPERTIES TIMEOUT 300)

# The two ways of installing (cmake --install, a wheel in a fresh venv). The
# wheel is made from this build tree's extension and libraries, so nothing
# is compiled again; it runs in the plain build only: it checks packaging,
# which the sanitizers add nothing to.
if(NOT KESTRUM_SANITIZE)
  add_test(NAME python.InstallAndWheel
    COMMAND ${CMAKE_COMMAND} -E env --unset=PYTHONPATH
            ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/install_check.py
            ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/install-check)
  set_tests_properties(python.InstallAndWheel PROPERTIES TIMEOUT 300)
endif()
