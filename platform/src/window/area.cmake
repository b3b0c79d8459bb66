# Windows, messages, drawing, resources and the shell, over Qt Gui. A
# library of its own beside `handset`, so that only the programs and
# plug-ins that draw take Qt in; it is shared so that every module of a
# process sees one set of window classes and windows.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_library(handset_window SHARED
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/broadcast.cpp
  ${CMAKE_CURRENT_LIST_DIR}/remote.cpp)
target_link_libraries(handset_window PUBLIC handset PRIVATE Qt6::Gui ${CMAKE_DL_LIBS})
include(${CMAKE_CURRENT_LIST_DIR}/resources.cmake)

# The UI framework (handset/ui.h): dialogs, property sheets, menu bars and
# controls on Qt Widgets, for the programs with dialogs.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_library(handset_ui SHARED
  ${CMAKE_CURRENT_LIST_DIR}/ui_template.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_gdi_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_listview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_file_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_form.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_remote.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msgbox_dialog.cpp)
target_link_libraries(handset_ui PUBLIC handset_window handset PRIVATE Qt6::Widgets)

add_library(window_test_module MODULE ${CMAKE_CURRENT_LIST_DIR}/tests/test_module.cpp)
set_target_properties(window_test_module PROPERTIES CXX_VISIBILITY_PRESET hidden PREFIX "" SUFFIX ".dll")
target_link_libraries(window_test_module PRIVATE handset)
handset_add_resources(window_test_module ${CMAKE_CURRENT_LIST_DIR}/tests/test_module.res)

tonquil_add_tests(window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/window_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/gdi_test.cpp
  LIBS handset_window Qt6::Gui)
target_compile_definitions(window_tests PRIVATE WINDOW_TEST_MODULE="$<TARGET_FILE:window_test_module>")
add_dependencies(window_tests window_test_module)

find_package(Qt6 REQUIRED COMPONENTS Test)
tonquil_add_tests(ui_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/ui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/ui_remote_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/ui_listview_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/ui_file_dialog_test.cpp
  LIBS handset_ui handset_window Qt6::Widgets Qt6::Test)
# The tests' dialogs, menus and bitmaps are the test program's own resources.
handset_add_resources(ui_tests ${CMAKE_CURRENT_LIST_DIR}/tests/ui_test.res)
set_target_properties(ui_tests PROPERTIES ENABLE_EXPORTS ON)
