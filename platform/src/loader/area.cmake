# Libraries: LoadLibrary, GetProcAddress by name and by ordinal, FreeLibrary.
target_sources(handset PRIVATE ${CMAKE_CURRENT_LIST_DIR}/loader.cpp)
target_link_libraries(handset PRIVATE ${CMAKE_DL_LIBS})

# A library with an entry point, a named export and an ordinal-only export.
add_library(loader_test_library MODULE ${CMAKE_CURRENT_LIST_DIR}/tests/test_library.cpp)
set_target_properties(loader_test_library PROPERTIES CXX_VISIBILITY_PRESET hidden PREFIX "" SUFFIX ".dll")
target_link_libraries(loader_test_library PRIVATE handset)

tonquil_add_tests(loader_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/loader_test.cpp
  LIBS handset)
target_compile_definitions(loader_tests PRIVATE LOADER_TEST_LIBRARY="$<TARGET_FILE:loader_test_library>")
add_dependencies(loader_tests loader_test_library)
