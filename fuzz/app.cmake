marlow_fuzzer(fuzz_trace_edit ${CMAKE_CURRENT_LIST_DIR}/trace_edit_fuzz.cpp LIBS marlow_app)
marlow_fuzzer(fuzz_trailer ${CMAKE_CURRENT_LIST_DIR}/trailer_fuzz.cpp LIBS marlow_stamp)
marlow_fuzzer(fuzz_settings ${CMAKE_CURRENT_LIST_DIR}/settings_fuzz.cpp LIBS marlow_app marlow_usb marlow_phone)
