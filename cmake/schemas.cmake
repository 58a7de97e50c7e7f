# The JSON Schemas of the tool's documents, as installed: each one complete
# in itself. A schema in schema/ names another by its absolute $id
# (https://kestrum.invalid/schema/NAME); here every schema it reaches, directly
# or through another, is copied whole into its "$defs" under that NAME, where
# a validator finds it by its $id. So plain jsonschema.validate(document,
# schema) needs neither a registry of the other files nor the network.
# Made when CMake configures, and again whenever a schema changes.
set(kestrum_schema_base "https://kestrum.invalid/schema/")
file(GLOB kestrum_schema_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/schema/*.schema.json)
set(KESTRUM_SCHEMA_BUNDLE_DIR ${PROJECT_BINARY_DIR}/schema)
file(REMOVE_RECURSE ${KESTRUM_SCHEMA_BUNDLE_DIR})

# The names of the kestrum schemas a schema's text refers to.
function(kestrum_schema_refs text out)
  string(REGEX MATCHALL "\"\\$ref\" *: *\"${kestrum_schema_base}[^\"#]+" refs "${text}")
  list(TRANSFORM refs REPLACE ".*/" "")
  list(REMOVE_DUPLICATES refs)
  set(${out} ${refs} PARENT_SCOPE)
endfunction()

foreach(file ${kestrum_schema_files})
  get_filename_component(name ${file} NAME)
  file(READ ${file} schema_${name})
  string(JSON id GET "${schema_${name}}" "$id")
  if(NOT id STREQUAL "${kestrum_schema_base}${name}")
    message(FATAL_ERROR "${file}: its $id is \"${id}\", not \"${kestrum_schema_base}${name}\"")
  endif()
endforeach()

foreach(file ${kestrum_schema_files})
  get_filename_component(name ${file} NAME)
  # Every schema reached from this one, each once.
  kestrum_schema_refs("${schema_${name}}" pending)
  set(reached "")
  while(pending)
    list(POP_FRONT pending other)
    if(other STREQUAL name OR other IN_LIST reached)
      continue()
    endif()
    if(NOT DEFINED schema_${other})
      message(FATAL_ERROR "${file} refers to ${kestrum_schema_base}${other}, which is not in schema/")
    endif()
    list(APPEND reached ${other})
    kestrum_schema_refs("${schema_${other}}" more)
    list(APPEND pending ${more})
  endwhile()
  set(bundle "${schema_${name}}")
  if(reached)
    string(JSON defs_type ERROR_VARIABLE no_defs TYPE "${bundle}" "$defs")
    if(no_defs)
      string(JSON bundle SET "${bundle}" "$defs" "{}")
    endif()
    foreach(other ${reached})
      string(JSON bundle SET "${bundle}" "$defs" "${other}" "${schema_${other}}")
    endforeach()
  endif()
  file(WRITE ${KESTRUM_SCHEMA_BUNDLE_DIR}/${name} "${bundle}\n")
endforeach()
