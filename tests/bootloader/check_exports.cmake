# Fails unless the library's dynamic symbol table holds exactly its ten exports.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${listing}")
list(TRANSFORM names STRIP)
list(SORT names)
set(expected Initial47J53Parameter M47J53_EraseFlashData M47J53_LoadFirmwareFile M47J53_QueryDevice
  M47J53_Reset M47J53_SetUSBHandle M47J53_Set_BootLoaderMode M47J53_Transfer_FlashData
  M47J53_UpdateFlash M47J53_VerifyFlash)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
