# The control socket's end-to-end tests run the control client.
if(TARGET tests_server AND TARGET orvn-ctl)
  add_dependencies(tests_server orvn-ctl)
endif()

# libFuzzer over the line reader of the control socket and the console, and a
# bounded run of it as a test. Clang only.
if(ORVN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_control_lines ${CMAKE_CURRENT_LIST_DIR}/fuzz/fuzz_control_lines.cpp
                                    ${CMAKE_SOURCE_DIR}/server/platform/CLineReader.cpp)
  target_include_directories(fuzz_control_lines PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/server)
  target_compile_options(fuzz_control_lines PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(fuzz_control_lines PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME fuzz_control_lines_bounded
           COMMAND fuzz_control_lines -max_total_time=15 -rss_limit_mb=512 -max_len=4096 -print_final_stats=1)
  set_tests_properties(fuzz_control_lines_bounded PROPERTIES TIMEOUT 120)
endif()
