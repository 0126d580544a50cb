marlow_bench(bench_uart_transfer SOURCES ${CMAKE_CURRENT_LIST_DIR}/uart_transfer_bench.cpp
             LIBS marlow_uartloader marlow_emulators)
