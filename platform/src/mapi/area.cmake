# The message store (the part of MAPI that rule clients meet), MAPI's
# buffers and the debug output.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/buffers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/debug.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_store.cpp)

tonquil_add_tests(mapi_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/message_store_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/buffers_debug_test.cpp
  LIBS handset)
