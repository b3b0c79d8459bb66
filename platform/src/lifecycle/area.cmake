# The device's running programs: resident programs, pid files, boot and
# shutdown.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/lifecycle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/supervisor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/residents.cpp)

# A resident program for the tests, whose behaviour follows the name it is
# started as.
add_executable(lifecycle_test_program ${CMAKE_CURRENT_LIST_DIR}/tests/test_program.cpp)
target_link_libraries(lifecycle_test_program PRIVATE handset)

tonquil_add_tests(lifecycle_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/lifecycle_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/supervisor_test.cpp
  LIBS handset)
target_compile_definitions(lifecycle_tests PRIVATE
  LIFECYCLE_TEST_PROGRAMS="$<TARGET_FILE_DIR:lifecycle_test_program>")
add_dependencies(lifecycle_tests lifecycle_test_program)
