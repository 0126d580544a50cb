marlow_bench(bench_phone_download SOURCES ${CMAKE_CURRENT_LIST_DIR}/phone_download_bench.cpp
             LIBS marlow_emulators IFWD_DownloadDll)
