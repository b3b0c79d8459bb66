# The phone's sound system (handset/sound.h): the ring of each call and the
# sound of each notification. A library of its own, on GStreamer, linked
# only by the programs that sound (the radio, the messaging host), so that
# the platform's core never loads a media framework.
add_library(handset_sound SHARED
  ${CMAKE_CURRENT_LIST_DIR}/script.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vibration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/notification.cpp)
target_include_directories(handset_sound PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(handset_sound PUBLIC handset PRIVATE handset_media PkgConfig::GSTREAMER)

tonquil_add_tests(sound_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/script_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/ring_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/notification_test.cpp
  LIBS handset_sound wmp_test_media)
target_include_directories(sound_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
