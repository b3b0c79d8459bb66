# The database functions of the contacts volume: the category database.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/handles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cedb.cpp)

tonquil_add_tests(cedb_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/cedb_test.cpp
  LIBS handset)
