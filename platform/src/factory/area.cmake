# A new device in its factory state.
target_sources(handset PRIVATE ${CMAKE_CURRENT_LIST_DIR}/factory.cpp)

tonquil_add_tests(factory_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/factory_test.cpp
  LIBS handset)
