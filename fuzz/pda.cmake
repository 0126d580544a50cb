marlow_fuzzer(fuzz_boot_image ${CMAKE_CURRENT_LIST_DIR}/boot_image_fuzz.cpp LIBS marlow_pda)
marlow_fuzzer(fuzz_list_file ${CMAKE_CURRENT_LIST_DIR}/list_file_fuzz.cpp LIBS marlow_pda)
