marlow_fuzzer(fuzz_virtual_bus ${CMAKE_CURRENT_LIST_DIR}/virtual_bus_fuzz.cpp LIBS marlow_usb)
