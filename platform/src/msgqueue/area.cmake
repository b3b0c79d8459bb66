# The thread message queue: posted messages, thread timers, the message loop.
target_sources(handset PRIVATE ${CMAKE_CURRENT_LIST_DIR}/msgqueue.cpp)

tonquil_add_tests(msgqueue_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/msgqueue_test.cpp
  LIBS handset)
