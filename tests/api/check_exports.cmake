# Compares the defined dynamic symbols of LIBRARY with what it may export:
# every name must start with PREFIX and, when SCRIPT is given, the set must be
# exactly the names the version script lists.
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(exported "")
foreach(line IN LISTS lines)
  # Unversioned exports only: a version tag would show as name@@TAG.
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
    list(APPEND exported "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES exported)
foreach(name IN LISTS exported)
  if(NOT name MATCHES "^${PREFIX}")
    message(FATAL_ERROR "${LIBRARY} exports ${name}, which is not a ${PREFIX} name")
  endif()
endforeach()
if(SCRIPT)
  file(STRINGS ${SCRIPT} script_lines REGEX "^ +${PREFIX}[A-Za-z0-9_]+;")
  set(expected "")
  foreach(line IN LISTS script_lines)
    string(REGEX REPLACE "^ +([A-Za-z0-9_]+);.*" "\\1" name "${line}")
    list(APPEND expected "${name}")
  endforeach()
  set(missing ${expected})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${expected})
  list(LENGTH expected n_expected)
  list(LENGTH exported n_exported)
  if(missing OR extra)
    # The script is written from the public header (scripts/gen_misuse_test.py),
    # so the way out is in the header or in the definitions.
    message(FATAL_ERROR "exports differ from ${SCRIPT} (${n_exported} exported, ${n_expected} listed)\n"
                        "missing: ${missing}\nnot listed: ${extra}\n"
                        "A missing name is declared in the public header but not defined with its API "
                        "macro; a name not listed is defined so but not declared in the header (declare "
                        "it there and run python3 scripts/gen_misuse_test.py) or should not be exported.")
  endif()
  message(STATUS "${n_exported} exports, exactly as listed")
endif()
