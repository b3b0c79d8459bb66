# The imaging factory (handset/imaging.h): a built-in COM class over Qt Gui's
# image readers, in a library of its own, so that only the programs that
# decode pictures take Qt in. It draws through the window layer.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_library(handset_imaging SHARED ${CMAKE_CURRENT_LIST_DIR}/imaging.cpp)
target_include_directories(handset_imaging PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/window)
target_link_libraries(handset_imaging PUBLIC handset_window handset PRIVATE Qt6::Gui)

tonquil_add_tests(imaging_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/imaging_test.cpp
  LIBS handset_imaging handset_window Qt6::Gui)
target_include_directories(imaging_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/pimstore/tests)
