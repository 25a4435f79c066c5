# Fails unless zerlin-tool loads the shared library by its soname (the name installed for programs,
# not the development link) and carries none of the exports itself, so that the tool runs the code
# its callers load.
execute_process(COMMAND readelf -d ${TOOL} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${TOOL}")
endif()
if(NOT dynamic MATCHES "NEEDED[^\n]*\\[libZerlin\\.so\\.1\\]")
  message(FATAL_ERROR "zerlin-tool does not load libZerlin.so.1:\n${dynamic}")
endif()
execute_process(COMMAND nm --defined-only ${TOOL} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${TOOL}")
endif()
if(symbols MATCHES "M47J53_|Initial47J53Parameter")
  message(FATAL_ERROR "zerlin-tool carries its own copy of the library's exports")
endif()
