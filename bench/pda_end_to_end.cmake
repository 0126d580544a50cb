# The end-to-end figures: marlow-cli itself against raw copies, each side
# separate processes. Their own mains: each program is also the raw copy's
# two ends.
add_library(marlow_bench_processes STATIC ${CMAKE_CURRENT_LIST_DIR}/bench_processes.cpp
                                          ${CMAKE_CURRENT_LIST_DIR}/pda_download_raw_copy.cpp)
target_link_libraries(marlow_bench_processes PUBLIC marlow_pda marlow_digest marlow_in_process
                                                    benchmark::benchmark)

add_executable(bench_pda_end_to_end ${CMAKE_CURRENT_LIST_DIR}/pda_end_to_end_bench.cpp)
target_link_libraries(bench_pda_end_to_end PRIVATE marlow_bench_processes)
target_compile_definitions(bench_pda_end_to_end PRIVATE MARLOW_CLI="$<TARGET_FILE:marlow-cli>")
add_dependencies(bench_pda_end_to_end marlow-cli)

# A station of 8 PDA slots against 8 raw copies side by side, and against
# itself with one slot.
add_executable(bench_station_pda ${CMAKE_CURRENT_LIST_DIR}/station_pda_bench.cpp)
target_link_libraries(bench_station_pda PRIVATE marlow_bench_processes)
target_compile_definitions(
  bench_station_pda PRIVATE MARLOW_CLI="$<TARGET_FILE:marlow-cli>"
                            MARLOW_DOWNLOAD_LIBRARY="$<TARGET_FILE:IFWD_DownloadDll>")
add_dependencies(bench_station_pda marlow-cli IFWD_DownloadDll)
