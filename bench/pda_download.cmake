marlow_bench(bench_pda_download SOURCES ${CMAKE_CURRENT_LIST_DIR}/pda_download_bench.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/pda_download_raw_copy.cpp
             LIBS marlow_pda marlow_digest marlow_hotplug marlow_in_process)
