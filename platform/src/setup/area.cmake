# Files and folders of the device, message boxes, the restart request.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msgbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pickers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reboot.cpp)

tonquil_add_tests(setup_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/files_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/msgbox_test.cpp
  LIBS handset)
