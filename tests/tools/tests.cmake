# The load tool's tests drive a bot swarm and the bare relay in-process.
if(TARGET tests_tools AND TARGET orvn_bot AND TARGET orvn_relay_baseline)
  target_link_libraries(tests_tools PRIVATE orvn_bot orvn_relay_baseline)
  # The vehicle mode runs the server with the benchmark's vehicle plugin.
  if(TARGET bench_vehicles)
    add_dependencies(tests_tools bench_vehicles)
  endif()
endif()
# The query tool's test runs the tool itself.
if(TARGET tests_tools AND TARGET orvn-query)
  add_dependencies(tests_tools orvn-query)
endif()
