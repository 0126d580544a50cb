marlow_fuzzer(fuzz_stm_list ${CMAKE_CURRENT_LIST_DIR}/stm_list_fuzz.cpp LIBS marlow_uartloader)
marlow_fuzzer(fuzz_mfl ${CMAKE_CURRENT_LIST_DIR}/mfl_fuzz.cpp LIBS marlow_uartloader)
marlow_fuzzer(fuzz_hex_text ${CMAKE_CURRENT_LIST_DIR}/hex_text_fuzz.cpp LIBS marlow_uartloader)
marlow_fuzzer(fuzz_parity_crc ${CMAKE_CURRENT_LIST_DIR}/parity_crc_fuzz.cpp LIBS marlow_uartloader)
