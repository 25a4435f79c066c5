# Fails unless the library exports exactly its ten functions: the dynamic symbol table of the shared
# object, or the export table of the DLL (OBJDUMP given), under their plain names.
if(OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
  string(REGEX REPLACE ".*\\[Ordinal/Name Pointer\\] Table\n" "" listing "${listing}")
  string(REGEX REPLACE "\n\n.*" "\n" listing "${listing}")
  string(REGEX MATCHALL "[^ \t\n]+\n" names "${listing}")
else()
  execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[^ \n]+\n" names "${listing}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the exports of ${LIBRARY}")
endif()
list(TRANSFORM names STRIP)
list(SORT names)
set(expected Initial47J53Parameter M47J53_EraseFlashData M47J53_LoadFirmwareFile M47J53_QueryDevice
  M47J53_Reset M47J53_SetUSBHandle M47J53_Set_BootLoaderMode M47J53_Transfer_FlashData
  M47J53_UpdateFlash M47J53_VerifyFlash)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
