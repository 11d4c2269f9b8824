# The platform's test doubles, each a second implementation of one service's header. A test
# picks them with corvane_test(... DOUBLES): CORVANE_TEST_PLATFORM is the platform it then gets.

# The error box: records every message instead of showing it.
add_library(corvane_test_message_box STATIC ${CMAKE_CURRENT_LIST_DIR}/message_box_recorder.cpp)
target_include_directories(corvane_test_message_box PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(corvane_test_message_box PUBLIC corvane_platform_headers)

# The sound card in memory. With the real-time double it stands in for ALSA and SCHED_FIFO: a
# free-running test device under a real FIFO thread could starve a two-core machine.
add_library(corvane_test_audio_device STATIC ${CMAKE_CURRENT_LIST_DIR}/memory_audio_device.cpp)
target_include_directories(corvane_test_audio_device PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(corvane_test_audio_device PUBLIC corvane_platform_headers Threads::Threads)

add_library(corvane_test_realtime STATIC ${CMAKE_CURRENT_LIST_DIR}/realtime_double.cpp)
target_include_directories(corvane_test_realtime PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(corvane_test_realtime PUBLIC corvane_platform_headers)

# The card's reservation is the real one: without a session bus it asks nobody, and the
# reservation tests start a bus of their own.
set(CORVANE_TEST_PLATFORM
  corvane_platform_display corvane_platform_files corvane_platform_reservation corvane_platform_threads
  corvane_test_message_box corvane_test_audio_device corvane_test_realtime
  CACHE INTERNAL "The platform of tests that use the doubles")

# Windows: a scripted sound endpoint behind the WASAPI interfaces, in place of the system's
# device enumerator; the real WASAPI device runs against it.
if(WIN32)
  add_library(corvane_test_wasapi STATIC ${CMAKE_CURRENT_LIST_DIR}/fake_wasapi.cpp)
  target_include_directories(corvane_test_wasapi PUBLIC ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(corvane_test_wasapi PUBLIC corvane_platform_headers ksuser Threads::Threads)
endif()
