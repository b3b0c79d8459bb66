# Telephony: the line API of every process, the radio's protocol server that
# backs it, and the device's running programs (lifecycle), which have no
# entry in the area list of their own and come in through this file.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/protocol.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/offer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/caller.cpp)

tonquil_add_tests(tapi_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/line_api_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/radio_server_test.cpp
  LIBS handset)
target_include_directories(tapi_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)

