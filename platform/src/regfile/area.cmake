# The .reg text format: import, export and the key reading they share.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/regkey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/import.cpp
  ${CMAKE_CURRENT_LIST_DIR}/export.cpp
)

tonquil_add_tests(regfile_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/parse_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/import_export_test.cpp
  LIBS handset)
