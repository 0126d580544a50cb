marlow_bench(bench_sha256 SOURCES ${CMAKE_CURRENT_LIST_DIR}/sha256_bench.cpp
             LIBS marlow_digest Qt6::Core)
# Its own main: the store's driver needs a QCoreApplication.
add_executable(bench_run_store ${CMAKE_CURRENT_LIST_DIR}/run_store_bench.cpp)
target_link_libraries(bench_run_store PRIVATE marlow_records benchmark::benchmark)
