# COM in process: GUIDs, HRESULTs, initialisation, the built-in classes and
# the in-process servers registered in HKEY_CLASSES_ROOT.
target_sources(handset PRIVATE ${CMAKE_CURRENT_LIST_DIR}/com.cpp)

# An in-process server for the tests, built as the phone's servers are.
add_library(com_test_server MODULE ${CMAKE_CURRENT_LIST_DIR}/tests/test_server.cpp)
set_target_properties(com_test_server PROPERTIES CXX_VISIBILITY_PRESET hidden PREFIX "" SUFFIX ".dll")
target_link_libraries(com_test_server PRIVATE handset_testing_headers)

tonquil_add_tests(com_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/com_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/inproc_server_test.cpp
  LIBS handset)
target_compile_definitions(com_tests PRIVATE COM_TEST_SERVER="$<TARGET_FILE:com_test_server>"
  LOADER_TEST_LIBRARY="$<TARGET_FILE:loader_test_library>")
add_dependencies(com_tests com_test_server loader_test_library)
