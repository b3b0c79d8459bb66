# The call log: its database and the phone's call log functions.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/calllog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phone.cpp)

tonquil_add_tests(calllog_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/calllog_test.cpp
  LIBS handset)
target_include_directories(calllog_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
