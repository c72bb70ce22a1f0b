# libFuzzer target over the message dispatch and the query handler, and a
# bounded run of it as a test. Clang only. The network sources are compiled
# into the target as well, so that libFuzzer sees their coverage (the copies
# in orvn_core are then never pulled from the archive).
#
# Every fuzz run has libFuzzer's memory limits: a process above 1 GiB resident,
# or one allocation above 64 MiB, is a finding. The transport targets also
# check what a run left held against a connection's bounds.
set(ORVN_FUZZ_MEMORY_LIMITS -rss_limit_mb=1024 -malloc_limit_mb=64)
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
           COMMAND fuzz_dispatch -max_total_time=20 ${ORVN_FUZZ_MEMORY_LIMITS} -print_final_stats=1)
  set_tests_properties(fuzz_dispatch_bounded PROPERTIES TIMEOUT 120)
endif()

# The transport's receive path under libFuzzer: RakNet built once more, with the
# fuzzer's coverage and the sanitizers, and without an update thread of its own
# (RAKPEER_USER_THREADED), so that a target drives the peer on its own thread.
# The targets link only this copy, never orvn_raknet. The vptr check is off: the
# socket's receive thread starts inside its constructor, which that check takes
# for a wrong dynamic type.
if(ORVN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB ORVN_RAKNET_FUZZ_SOURCES ${ORVN_RAKNET_DIR}/Source/*.cpp)
  add_library(orvn_raknet_fuzz STATIC ${ORVN_RAKNET_FUZZ_SOURCES} ${CMAKE_SOURCE_DIR}/tools/flood/FloodWire.cpp)
  target_include_directories(orvn_raknet_fuzz SYSTEM PUBLIC ${ORVN_RAKNET_DIR}/Source)
  target_include_directories(orvn_raknet_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/tools/flood)
  target_compile_definitions(orvn_raknet_fuzz PUBLIC __GET_TIME_64BIT=0 RAKPEER_USER_THREADED=1)
  target_compile_options(orvn_raknet_fuzz PRIVATE -w -O1 -fno-omit-frame-pointer
                                                  -fsanitize=fuzzer-no-link,address,undefined
                                                  -fno-sanitize-recover=undefined -fno-sanitize=vptr)
  set_target_properties(orvn_raknet_fuzz PROPERTIES CXX_STANDARD 11 CXX_EXTENSIONS ON)
  target_link_libraries(orvn_raknet_fuzz PUBLIC Threads::Threads)
  foreach(name fuzz_transport_connected fuzz_transport_offline)
    add_executable(${name} ${ORVN_NET_TEST_DIR}/fuzz/${name}.cpp)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE orvn_raknet_fuzz)
    # Inputs that once found a fault run first, from their own folder; what the
    # run finds new goes to a corpus in the build tree, kept for the next run.
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${corpus})
    set(regressions)
    if(IS_DIRECTORY ${ORVN_NET_TEST_DIR}/fuzz/regressions/${name})
      set(regressions ${ORVN_NET_TEST_DIR}/fuzz/regressions/${name})
    endif()
    add_test(NAME ${name}_bounded
             COMMAND ${name} ${corpus} ${regressions} -max_total_time=20 ${ORVN_FUZZ_MEMORY_LIMITS}
                     -print_final_stats=1)
    set_tests_properties(${name}_bounded PROPERTIES TIMEOUT 120)
  endforeach()
  # The offline target also drives the store transfer's side of a connection.
  target_sources(fuzz_transport_offline PRIVATE ${CMAKE_SOURCE_DIR}/server/net/CStoreFileTransfer.cpp
                                                ${CMAKE_SOURCE_DIR}/server/platform/CDirectoryList.cpp
                                                ${CMAKE_SOURCE_DIR}/tools/flood/FloodPatterns.cpp)
  target_include_directories(fuzz_transport_offline PRIVATE ${CMAKE_SOURCE_DIR}/server)
endif()

# The transport hardening tests measure relay delivery with a bot swarm.
if(TARGET tests_net AND TARGET orvn_bot)
  target_link_libraries(tests_net PRIVATE orvn_bot)
endif()
