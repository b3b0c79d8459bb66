# The media player control (CLSID_WindowsMediaPlayer) on GStreamer, and the
# phone's stock sounds.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GSTREAMER REQUIRED IMPORTED_TARGET gstreamer-1.0)

# The stock sounds are made once, when the library is built, and carried in
# it: making a device then writes files and never starts GStreamer.
add_executable(make_stock_sounds
  ${CMAKE_CURRENT_LIST_DIR}/make_stock_sounds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_synth.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gst_runtime.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/core/host_file.cpp)
target_include_directories(make_stock_sounds PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR}/include)
target_link_libraries(make_stock_sounds PRIVATE PkgConfig::GSTREAMER)
set_target_properties(make_stock_sounds PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
handset_embed_made_files(NAME stock_sounds TOOL make_stock_sounds
  FILES Ring.wav Alert.wav Chimes.mp3 Beeps.mp3 Melody.mid Fanfare.mid
  HEADER wmp/stock_sounds.h NAMESPACE handset::wmp TABLE kStockSoundFiles COUNT kStockSoundFileCount)

target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/gst_runtime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/audio_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media.cpp
  ${CMAKE_CURRENT_LIST_DIR}/player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stock_sounds.cpp)
target_link_libraries(handset PRIVATE PkgConfig::GSTREAMER)

# Media made by the tests themselves: tones as WAV, MP3, WMA and MIDI.
add_library(wmp_test_media STATIC ${CMAKE_CURRENT_LIST_DIR}/tests/test_media.cpp)
target_include_directories(wmp_test_media PUBLIC ${CMAKE_CURRENT_LIST_DIR}/tests)
target_link_libraries(wmp_test_media PUBLIC PkgConfig::GSTREAMER)

tonquil_add_tests(wmp_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/wmp_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/stock_sounds_test.cpp
  LIBS handset wmp_test_media)
target_include_directories(wmp_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)

# The floor of the player benchmark: a bare playbin program.
if(TONQUIL_BENCHMARKS AND NOT TONQUIL_SANITIZE)
  add_executable(playbin_floor ${CMAKE_CURRENT_LIST_DIR}/bench/playbin_floor.cpp)
  target_link_libraries(playbin_floor PRIVATE PkgConfig::GSTREAMER)
endif()
