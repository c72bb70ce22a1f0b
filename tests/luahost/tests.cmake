# tests_luahost runs the scripting host in-process (luahost_core) and in the real server binary
# (plugins/luahost.so).
if(TARGET tests_luahost)
  target_link_libraries(tests_luahost PRIVATE luahost_core)
  add_dependencies(tests_luahost luahost)
endif()

# docs/lua-api.md is generated from the binding table; this fails when the committed file is stale.
add_test(NAME luahost.lua_api_reference_is_current
         COMMAND orvn-lua-api --check ${CMAKE_SOURCE_DIR}/docs/lua-api.md)

# The host's micro-benchmark: not a test, not run by ctest.
if(ORVN_BENCH)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(bench_luahost ${CMAKE_CURRENT_LIST_DIR}/bench/luahost_bench.cpp)
    target_include_directories(bench_luahost PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(bench_luahost PRIVATE luahost_core orvn_test_support benchmark::benchmark)
  endif()
endif()
