# The examples of README.md and docs/*.md run as a reader would run them
# (tests/docs/run_examples.py): one test per document, against the install
# test's prefix, so that an example stops working the day the code under it
# changes. A new guide in docs/ is picked up by itself. The plain build runs
# them; the sanitizers would have to be loaded into every program an example
# starts, from the shell to the compiler.
if(KESTRUM_SANITIZE OR NOT KESTRUM_BUILD_TOOLS)
  return()
endif()
file(GLOB kestrum_documents CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
foreach(document ${PROJECT_SOURCE_DIR}/README.md ${kestrum_documents})
  get_filename_component(name ${document} NAME_WE)
  add_test(NAME docs.Examples.${name}
    COMMAND ${KESTRUM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/run_examples.py
            --prefix ${KESTRUM_INSTALL_TEST_DIR}/prefix --work ${CMAKE_BINARY_DIR}/docs-examples/${name}
            --cc ${CMAKE_C_COMPILER} --python ${KESTRUM_PYTHON3} ${document})
  set_tests_properties(docs.Examples.${name} PROPERTIES FIXTURES_REQUIRED kestrum_installed TIMEOUT 900)
endforeach()
