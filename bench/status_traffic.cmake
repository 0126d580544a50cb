marlow_bench(bench_status_traffic SOURCES ${CMAKE_CURRENT_LIST_DIR}/status_traffic_bench.cpp
             LIBS marlow_status)
