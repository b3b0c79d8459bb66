# Device programs: starting them with one verbatim command line, waiting for
# them, and the main() that hands that command line to a program's WinMain.
target_sources(handset PRIVATE ${CMAKE_CURRENT_LIST_DIR}/process.cpp)

# Linked into every device program (plimsey.exe, the device's own programs).
add_library(handset_winmain STATIC ${CMAKE_CURRENT_LIST_DIR}/winmain.cpp)
target_link_libraries(handset_winmain PUBLIC handset)

# A device program that reports what it was started with.
add_executable(process_probe ${CMAKE_CURRENT_LIST_DIR}/tests/process_probe.cpp)
target_link_libraries(process_probe PRIVATE handset_winmain)

tonquil_add_tests(process_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/process_test.cpp
  LIBS handset)
target_compile_definitions(process_tests PRIVATE PROCESS_PROBE="$<TARGET_FILE:process_probe>")
add_dependencies(process_tests process_probe)
