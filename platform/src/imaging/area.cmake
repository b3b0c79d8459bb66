# The imaging factory (handset/imaging.h): a built-in COM class over Qt Gui's
# image readers, in a library of its own, so that only the programs that
# decode pictures take Qt in: `handset` loads it when a process first asks
# for the factory (see kLibraryClasses in com/com.cpp), and programs that
# draw may link it. It draws through the window layer.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_library(handset_imaging SHARED ${CMAKE_CURRENT_LIST_DIR}/imaging.cpp)
target_include_directories(handset_imaging PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/window)
target_link_libraries(handset_imaging PUBLIC handset_window handset PRIVATE Qt6::Gui)

tonquil_add_tests(imaging_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/imaging_test.cpp
  LIBS handset_imaging handset_window Qt6::Gui)
target_include_directories(imaging_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/pimstore/tests)

# The stock pictures are drawn once, when the platform is built, and carried
# in `handset` (which needs no Qt): making a device only writes files.
add_executable(make_stock_pictures ${CMAKE_CURRENT_LIST_DIR}/make_stock_pictures.cpp)
target_link_libraries(make_stock_pictures PRIVATE Qt6::Gui)
set_target_properties(make_stock_pictures PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
handset_embed_made_files(NAME stock_pictures TOOL make_stock_pictures
  FILES Sunset.jpg Portrait.jpg Daisy.png
  HEADER imaging/stock_pictures.h NAMESPACE handset::imaging TABLE kStockPictureFiles COUNT kStockPictureFileCount)
