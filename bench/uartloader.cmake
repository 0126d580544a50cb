marlow_bench(bench_parity_crc SOURCES ${CMAKE_CURRENT_LIST_DIR}/parity_crc_bench.cpp LIBS marlow_uartloader)
