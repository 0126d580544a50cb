marlow_bench(bench_record_sum SOURCES ${CMAKE_CURRENT_LIST_DIR}/record_sum_bench.cpp LIBS marlow_pda)
