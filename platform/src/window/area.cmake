# Windows, messages, drawing, resources and the shell, over Qt Gui. A
# library of its own beside `handset`, so that only the programs and
# plug-ins that draw take Qt in; it is shared so that every module of a
# process sees one set of window classes and windows.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_library(handset_window SHARED
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell.cpp)
target_link_libraries(handset_window PUBLIC handset PRIVATE Qt6::Gui ${CMAKE_DL_LIBS})
include(${CMAKE_CURRENT_LIST_DIR}/resources.cmake)

add_library(window_test_module MODULE ${CMAKE_CURRENT_LIST_DIR}/tests/test_module.cpp)
set_target_properties(window_test_module PROPERTIES CXX_VISIBILITY_PRESET hidden PREFIX "" SUFFIX ".dll")
target_link_libraries(window_test_module PRIVATE handset)
handset_add_resources(window_test_module ${CMAKE_CURRENT_LIST_DIR}/tests/test_module.res)

tonquil_add_tests(window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/window_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/gdi_test.cpp
  LIBS handset_window Qt6::Gui)
target_compile_definitions(window_tests PRIVATE WINDOW_TEST_MODULE="$<TARGET_FILE:window_test_module>")
add_dependencies(window_tests window_test_module)
