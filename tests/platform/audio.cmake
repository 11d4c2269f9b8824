# The ALSA output stream against the tests' virtual sound card, and the real-time class.
corvane_test(audio_device_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio_device_test.cpp
  LIBS corvane_platform_audio corvane_platform_realtime corvane_test_sound_card
  LABELS threads)
corvane_test(realtime_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/realtime_test.cpp
  LIBS corvane_platform_realtime
  LABELS threads)
