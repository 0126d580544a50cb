marlow_fuzzer(fuzz_boot_image ${CMAKE_CURRENT_LIST_DIR}/boot_image_fuzz.cpp LIBS marlow_pda)
marlow_fuzzer(fuzz_list_file ${CMAKE_CURRENT_LIST_DIR}/list_file_fuzz.cpp LIBS marlow_pda)
marlow_fuzzer(fuzz_virtual_bus ${CMAKE_CURRENT_LIST_DIR}/virtual_bus_fuzz.cpp LIBS marlow_pda)
