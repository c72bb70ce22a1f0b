# libFuzzer target over the message dispatch and the query handler, and a
# bounded run of it as a test. Clang only. The network sources are compiled
# into the target as well, so that libFuzzer sees their coverage (the copies
# in orvn_core are then never pulled from the archive).
if(ORVN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(ORVN_NET_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
  file(GLOB ORVN_NET_FUZZED_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/server/net/*.cpp)
  add_executable(fuzz_dispatch
    ${ORVN_NET_TEST_DIR}/fuzz/fuzz_dispatch.cpp
    ${ORVN_NET_TEST_DIR}/support/CRecordingPeer.cpp
    ${ORVN_NET_FUZZED_SOURCES})
  target_include_directories(fuzz_dispatch PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(fuzz_dispatch PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_dispatch PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_dispatch PRIVATE orvn_core)
  add_test(NAME fuzz_dispatch_bounded
           COMMAND fuzz_dispatch -max_total_time=20 -rss_limit_mb=2048 -print_final_stats=1)
  set_tests_properties(fuzz_dispatch_bounded PROPERTIES TIMEOUT 120)
endif()
