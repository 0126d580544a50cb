# Small helpers so each subsystem's CMakeLists stays a list of files.

# marlow_engine(NAME SOURCES ... [LIBS ...])
# An engine library: plain C++ (Qt Core at most), never QtWidgets.
function(marlow_engine name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  # marlow-cli links every engine.
  set_property(GLOBAL APPEND PROPERTY MARLOW_ENGINES ${name})
endfunction()

# marlow_test(NAME SOURCES ... LIBS ... [TIMEOUT SECONDS])
# A GoogleTest executable whose cases ctest lists one by one. Every wait in
# a case gives up after tests/support/hang_bound.h's kStuckAfter; the
# TIMEOUT of each case (30 s, seconds of work at most today) is only the
# outer bound for a hang outside those waits.
function(marlow_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} marlow_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 30)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# marlow_fuzzer(NAME SOURCE LIBS ...)
function(marlow_fuzzer name source)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY MARLOW_FUZZERS ${name})
endfunction()
