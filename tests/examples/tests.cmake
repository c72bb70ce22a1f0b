# Plugin authors copy the free-roam mode, so it must build unchanged as strict C99 and C11 with every
# warning an error. Compile-only targets; tests_examples depends on them and on the plugin itself,
# which its end-to-end test loads into the server.
foreach(std 99 11)
  add_library(freeroam_check_c${std} STATIC ${CMAKE_SOURCE_DIR}/examples/freeroam.c)
  target_include_directories(freeroam_check_c${std} PRIVATE ${CMAKE_SOURCE_DIR}/sdk)
  target_compile_options(freeroam_check_c${std} PRIVATE -Wall -Wextra -Werror -pedantic)
  set_target_properties(freeroam_check_c${std} PROPERTIES C_STANDARD ${std} C_STANDARD_REQUIRED ON
                        C_EXTENSIONS OFF)
endforeach()

if(TARGET tests_examples)
  add_dependencies(tests_examples example_freeroam freeroam_check_c99 freeroam_check_c11)
endif()

# The same legs run the mode as a Lua script under the scripting host.
if(TARGET tests_examples)
  add_dependencies(tests_examples luahost)
endif()
