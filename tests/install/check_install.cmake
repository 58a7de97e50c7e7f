# Driven by install.cmake (cmake -P). MODE=install installs the build into
# WORK_DIR/prefix and checks what landed there; MODE=cmake and
# MODE=pkgconfig build consumer/main.c against that prefix and run it.
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
  foreach(path
      ${LIBDIR}/libkestrum.so ${LIBDIR}/libkestrum.so.${SOVERSION}
      ${LIBDIR}/libtoolkit.so ${LIBDIR}/libtoolkit.so.1
      ${INCLUDEDIR}/kestrum/kestrum.h ${INCLUDEDIR}/kestrum/toolkit.h
      ${LIBDIR}/cmake/kestrum/kestrumConfig.cmake ${LIBDIR}/cmake/kestrum/kestrumConfigVersion.cmake
      ${LIBDIR}/cmake/kestrum/kestrumTargets.cmake
      ${LIBDIR}/pkgconfig/kestrum.pc ${BINDIR}/kestrum ${MANDIR}/man1/kestrum.1
      ${DATADIR}/kestrum/schema/kestrum-project.schema.json ${DATADIR}/kestrum/schema/kestrum-show.schema.json
      ${DATADIR}/kestrum/schema/kestrum-ready.schema.json ${DATADIR}/kestrum/schema/kestrum-check.schema.json)
    expect_file(${path})
  endforeach()
  # The installed tool finds the installed libraries on its own.
  run_checked(${prefix}/${BINDIR}/kestrum --help)
  if(NOT last_output MATCHES "demo")
    message(FATAL_ERROR "the installed tool printed no usage:\n${last_output}")
  endif()

elseif(MODE STREQUAL "cmake")
  set(build ${WORK_DIR}/cmake-consumer)
  file(REMOVE_RECURSE ${build})
  run_checked(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${build} -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_C_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
  run_checked(${CMAKE_COMMAND} --build ${build})
  run_checked(${build}/consumer)
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
  run_checked(${PKG_CONFIG} --cflags --libs kestrum)
  string(STRIP "${last_output}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(extra_flags UNIX_COMMAND "${FLAGS}")
  file(MAKE_DIRECTORY ${WORK_DIR}/pkg-consumer)
  set(program ${WORK_DIR}/pkg-consumer/consumer)
  run_checked(${C_COMPILER} -std=c99 -Wall -Werror ${extra_flags} ${CONSUMER_DIR}/main.c -o ${program}
    ${pc_flags} -Wl,-rpath,${prefix}/${LIBDIR})
  run_checked(${program})
  if(NOT last_output MATCHES "${consumer_done}")
    message(FATAL_ERROR "the consumer did not finish:\n${last_output}")
  endif()

else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
