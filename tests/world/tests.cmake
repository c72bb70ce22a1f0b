# The streamer micro-benchmark: not a test, not run by ctest.
if(ORVN_BENCH)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(bench_streamer ${CMAKE_CURRENT_LIST_DIR}/bench/streamer_bench.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/support/CWorldFixture.cpp)
    target_include_directories(bench_streamer PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(bench_streamer PRIVATE orvn_core benchmark::benchmark)
  else()
    message(STATUS "Google Benchmark not found: bench_streamer is not built")
  endif()
endif()
