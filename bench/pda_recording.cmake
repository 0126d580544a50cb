# Recording on vs off for marlow-cli pda of a large image, as separate
# processes.
marlow_bench(bench_pda_recording SOURCES ${CMAKE_CURRENT_LIST_DIR}/pda_recording_bench.cpp
             LIBS marlow_pda)
target_compile_definitions(bench_pda_recording PRIVATE MARLOW_CLI="$<TARGET_FILE:marlow-cli>")
add_dependencies(bench_pda_recording marlow-cli)
