marlow_fuzzer(fuzz_modem_link ${CMAKE_CURRENT_LIST_DIR}/modem_link_fuzz.cpp LIBS marlow_modemlink marlow_emulators)
