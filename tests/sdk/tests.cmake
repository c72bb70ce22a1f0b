# The plugin header must build unchanged as strict C99 (its typedef layout checks), as C11
# (_Static_assert) and as C++11, and keep the 4-byte-pointer layout on a 32-bit target. These are
# compile-only targets; tests_sdk depends on them, so building the layout tests runs them.
set(ORVN_SDK_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ORVN_SDK_CHECKS)

foreach(std 99 11)
  add_library(sdk_check_c${std} STATIC ${ORVN_SDK_TEST_DIR}/compile_c.c)
  target_include_directories(sdk_check_c${std} PRIVATE ${CMAKE_SOURCE_DIR}/sdk)
  target_compile_options(sdk_check_c${std} PRIVATE -Wall -Wextra -Werror -pedantic)
  set_target_properties(sdk_check_c${std} PROPERTIES C_STANDARD ${std} C_STANDARD_REQUIRED ON
                        C_EXTENSIONS OFF)
  list(APPEND ORVN_SDK_CHECKS sdk_check_c${std})
endforeach()

add_library(sdk_check_cpp11 STATIC ${ORVN_SDK_TEST_DIR}/compile_cpp.cpp)
target_include_directories(sdk_check_cpp11 PRIVATE ${CMAKE_SOURCE_DIR}/sdk)
target_compile_options(sdk_check_cpp11 PRIVATE -Wall -Wextra -Werror -pedantic)
set_target_properties(sdk_check_cpp11 PROPERTIES CXX_STANDARD 11 CXX_STANDARD_REQUIRED ON
                      CXX_EXTENSIONS OFF)
list(APPEND ORVN_SDK_CHECKS sdk_check_cpp11)

# Freestanding, so that no 32-bit C library needs to be installed: the header needs only the
# compiler's own <stdint.h> and <stddef.h>.
if(CMAKE_C_COMPILER_ID MATCHES "Clang|GNU")
  set(ORVN_SDK_I686_STAMP ${CMAKE_CURRENT_BINARY_DIR}/sdk_check_i686.stamp)
  add_custom_command(
    OUTPUT ${ORVN_SDK_I686_STAMP}
    COMMAND ${CMAKE_C_COMPILER} -m32 -ffreestanding -std=c99 -Wall -Wextra -Werror -pedantic -fsyntax-only
            -I${CMAKE_SOURCE_DIR}/sdk ${ORVN_SDK_TEST_DIR}/compile_c.c
    COMMAND ${CMAKE_COMMAND} -E touch ${ORVN_SDK_I686_STAMP}
    DEPENDS ${ORVN_SDK_TEST_DIR}/compile_c.c ${CMAKE_SOURCE_DIR}/sdk/orvn_plugin.h
    COMMENT "Checking the plugin header's 32-bit layout"
    VERBATIM)
  add_custom_target(sdk_check_i686 DEPENDS ${ORVN_SDK_I686_STAMP})
  list(APPEND ORVN_SDK_CHECKS sdk_check_i686)
endif()

if(TARGET tests_sdk)
  add_dependencies(tests_sdk ${ORVN_SDK_CHECKS})
endif()
