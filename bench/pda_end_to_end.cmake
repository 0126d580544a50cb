# The end-to-end figure: marlow-cli itself against a raw copy, each side two
# processes. Its own main: the program is also the raw copy's two ends.
add_executable(bench_pda_end_to_end ${CMAKE_CURRENT_LIST_DIR}/pda_end_to_end_bench.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/pda_download_raw_copy.cpp)
target_link_libraries(bench_pda_end_to_end PRIVATE marlow_pda marlow_digest marlow_in_process
                                                   benchmark::benchmark)
target_compile_definitions(bench_pda_end_to_end PRIVATE MARLOW_CLI="$<TARGET_FILE:marlow-cli>")
add_dependencies(bench_pda_end_to_end marlow-cli)
