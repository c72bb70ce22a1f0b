# RakNet 4.081 as a static library of our own, built from the source that
# scripts/fetch-raknet.sh installs. Its warnings are silenced; the 32-bit
# time keeps the 4-byte time stamp of the protocol intact.
set(ORVN_RAKNET_DIR ${CMAKE_SOURCE_DIR}/third_party/raknet)
if(NOT EXISTS ${ORVN_RAKNET_DIR}/Source/RakPeer.cpp)
  message(FATAL_ERROR "RakNet source missing: run scripts/fetch-raknet.sh (make run / make test do it)")
endif()
file(GLOB ORVN_RAKNET_SOURCES ${ORVN_RAKNET_DIR}/Source/*.cpp)
add_library(orvn_raknet STATIC ${ORVN_RAKNET_SOURCES})
target_include_directories(orvn_raknet SYSTEM PUBLIC ${ORVN_RAKNET_DIR}/Source)
target_compile_definitions(orvn_raknet PUBLIC __GET_TIME_64BIT=0)
target_compile_options(orvn_raknet PRIVATE -w)
set_target_properties(orvn_raknet PROPERTIES CXX_STANDARD 11 CXX_EXTENSIONS ON)
target_link_libraries(orvn_raknet PUBLIC Threads::Threads)
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  # RakNet's own debug code is not under test; keep it fast.
  target_compile_options(orvn_raknet PRIVATE -O1)
endif()
