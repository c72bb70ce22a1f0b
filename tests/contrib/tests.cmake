# make install's rules, run on this build tree into a temporary prefix.
add_test(NAME contrib.install_files
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} files)
add_test(NAME contrib.service_unit_verify
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} verify)
set_tests_properties(contrib.service_unit_verify PROPERTIES SKIP_RETURN_CODE 77)
