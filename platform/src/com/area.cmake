# COM in process: GUIDs, HRESULTs, initialisation and the built-in classes.
target_sources(handset PRIVATE ${CMAKE_CURRENT_LIST_DIR}/com.cpp)

tonquil_add_tests(com_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/com_test.cpp
  LIBS handset)
