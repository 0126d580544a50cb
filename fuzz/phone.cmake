marlow_fuzzer(fuzz_phone_package ${CMAKE_CURRENT_LIST_DIR}/phone_package_fuzz.cpp LIBS marlow_phone)
marlow_fuzzer(fuzz_library_file ${CMAKE_CURRENT_LIST_DIR}/library_file_fuzz.cpp LIBS marlow_phone)
