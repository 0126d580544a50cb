marlow_fuzzer(fuzz_station_file ${CMAKE_CURRENT_LIST_DIR}/station_file_fuzz.cpp LIBS marlow_station)
