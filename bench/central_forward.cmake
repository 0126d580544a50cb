# Its own main: the store's driver needs a QCoreApplication. It starts a
# PostgreSQL server with the tests' fixture.
if(TARGET marlow_testsupport)
  add_executable(bench_central_forward ${CMAKE_CURRENT_LIST_DIR}/central_forward_bench.cpp)
  target_link_libraries(bench_central_forward PRIVATE marlow_records marlow_testsupport
                        benchmark::benchmark)
endif()
