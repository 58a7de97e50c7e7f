# Driven by install.cmake (cmake -P). MODE=install installs the build into
# WORK_DIR/prefix and checks what landed there; MODE=cmake and
# MODE=pkgconfig build consumer/main.c against that prefix and run it, the
# pkg-config one with the very command line the README gives. Both hand the
# consumer the version their package states, which it compares with the
# header's.
set(prefix ${WORK_DIR}/prefix)

function(run_checked)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_file path)
  if(NOT EXISTS ${prefix}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

# The consumer prints this when it ran to its end.
set(consumer_done "kestrum consumer: ok")

if(MODE STREQUAL "install")
  file(REMOVE_RECURSE ${WORK_DIR})
  run_checked(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
  set(expected
      ${LIBDIR}/libkestrum.so ${LIBDIR}/libkestrum.so.${SOVERSION} ${LIBDIR}/libkestrum.so.${VERSION}
      ${LIBDIR}/libkestrum-toolkit.so ${LIBDIR}/libkestrum-toolkit.so.1
      ${INCLUDEDIR}/kestrum/kestrum.h ${INCLUDEDIR}/kestrum/toolkit.h
      ${LIBDIR}/cmake/kestrum/kestrumConfig.cmake ${LIBDIR}/cmake/kestrum/kestrumConfigVersion.cmake
      ${LIBDIR}/cmake/kestrum/kestrumTargets.cmake
      ${LIBDIR}/pkgconfig/kestrum.pc
      ${DOCDIR}/LICENSE ${DOCDIR}/README.md ${DOCDIR}/docs/host-guide.md ${DOCDIR}/examples/host.c)
  if(TOOL)
    list(APPEND expected ${BINDIR}/kestrum ${MANDIR}/man1/kestrum.1
      ${DATADIR}/kestrum/schema/kestrum-project.schema.json ${DATADIR}/kestrum/schema/kestrum-show.schema.json
      ${DATADIR}/kestrum/schema/kestrum-ready.schema.json ${DATADIR}/kestrum/schema/kestrum-check.schema.json
      ${DATADIR}/kestrum/schema/kestrum-workflow.schema.json
      ${DATADIR}/kestrum/workflow/slurm/config.yaml)
  endif()
  if(HTML)
    # The header reference, when doxygen made one.
    list(APPEND expected ${DOCDIR}/html/index.html)
  endif()
  foreach(path ${expected})
    expect_file(${path})
  endforeach()
  # Nothing of kestrum's lies where another package's files could: no bare
  # libtoolkit, no header straight under include/.
  foreach(path ${LIBDIR}/libtoolkit.so ${INCLUDEDIR}/toolkit.h ${INCLUDEDIR}/kestrum.h)
    if(EXISTS ${prefix}/${path})
      message(FATAL_ERROR "installed under a name that can clash: ${path}")
    endif()
  endforeach()
  find_program(OBJDUMP objdump REQUIRED)
  execute_process(COMMAND ${OBJDUMP} -p ${prefix}/${LIBDIR}/libkestrum.so.${SOVERSION} OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "NEEDED +libkestrum-toolkit\\.so\\.1\n")
    message(FATAL_ERROR "libkestrum does not name libkestrum-toolkit.so.1:\n${dynamic}")
  endif()
  if(TOOL)
    # The installed tool finds the installed libraries on its own.
    run_checked(${prefix}/${BINDIR}/kestrum --help)
    if(NOT last_output MATCHES "demo")
      message(FATAL_ERROR "the installed tool printed no usage:\n${last_output}")
    endif()
  endif()

elseif(MODE STREQUAL "cmake")
  set(build ${WORK_DIR}/cmake-consumer)
  file(REMOVE_RECURSE ${build})
  run_checked(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${build} -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_C_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
  run_checked(${CMAKE_COMMAND} --build ${build})
  run_checked(${build}/consumer)
  if(NOT last_output MATCHES "package version ${VERSION}\n")
    message(FATAL_ERROR "find_package gave another version than ${VERSION}:\n${last_output}")
  endif()
  if(NOT last_output MATCHES "${consumer_done}")
    message(FATAL_ERROR "the consumer did not finish:\n${last_output}")
  endif()

elseif(MODE STREQUAL "pkgconfig")
  find_program(PKG_CONFIG pkg-config)
  if(NOT PKG_CONFIG)
    message("KESTRUM-SKIP: pkg-config is not installed")
    return()
  endif()
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run_checked(${PKG_CONFIG} --modversion kestrum)
  string(STRIP "${last_output}" pc_version)
  if(NOT pc_version STREQUAL VERSION)
    message(FATAL_ERROR "kestrum.pc says version ${pc_version}, the build ${VERSION}")
  endif()
  # The building guide's line for a prefix the loader does not search:
  #   cc host.c $(pkg-config --cflags --libs kestrum) \
  #      -Wl,-rpath,$(pkg-config --variable=libdir kestrum) -o host
  run_checked(${PKG_CONFIG} --cflags --libs kestrum)
  string(STRIP "${last_output}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  run_checked(${PKG_CONFIG} --variable=libdir kestrum)
  string(STRIP "${last_output}" pc_libdir)
  separate_arguments(extra_flags UNIX_COMMAND "${FLAGS}")
  file(MAKE_DIRECTORY ${WORK_DIR}/pkg-consumer)
  set(program ${WORK_DIR}/pkg-consumer/consumer)
  run_checked(${C_COMPILER} -std=c99 -Wall -Werror ${extra_flags} "-DKESTRUM_PACKAGE_VERSION=\"${pc_version}\""
    ${CONSUMER_DIR}/main.c ${pc_flags} -Wl,-rpath,${pc_libdir} -o ${program})
  run_checked(${program})
  if(NOT last_output MATCHES "${consumer_done}")
    message(FATAL_ERROR "the consumer did not finish:\n${last_output}")
  endif()

else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
