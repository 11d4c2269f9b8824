# Playback: decoding, the play thread against the in-memory sound card, the description
# line. The in-memory device and the real-time double stand in for ALSA and SCHED_FIFO:
# a free-running test device under a real FIFO thread could starve a two-core machine.
add_library(corvane_test_audio_device STATIC ${CMAKE_CURRENT_LIST_DIR}/../doubles/memory_audio_device.cpp)
target_include_directories(corvane_test_audio_device PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(corvane_test_audio_device PUBLIC Threads::Threads)

add_library(corvane_test_realtime STATIC ${CMAKE_CURRENT_LIST_DIR}/../doubles/realtime_double.cpp)
target_include_directories(corvane_test_realtime PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)

set(playback_test_libs corvane_test_audio_device corvane_test_realtime corvane_test_message_box
  corvane_platform_files corvane_platform_display corvane_flac_fixture)

corvane_test(playback_track_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/track_load_test.cpp ${CMAKE_CURRENT_LIST_DIR}/track_failure_test.cpp
  LIBS ${playback_test_libs} LABELS threads)
corvane_test(playback_play_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/play_process_test.cpp ${CMAKE_CURRENT_LIST_DIR}/play_failure_test.cpp
  LIBS ${playback_test_libs} LABELS threads)
corvane_test(playback_external_error_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/external_error_test.cpp
  LIBS ${playback_test_libs} LABELS threads)
corvane_test(playback_info_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/track_info_test.cpp
  LIBS ${playback_test_libs} LABELS playback)
