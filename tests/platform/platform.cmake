# The platform layer: the folder listing and logical order on real folders, the ALSA output
# stream against the tests' virtual sound card, the real-time class, and the card's
# reservation on a private session bus.
corvane_test(platform_listing_test
  SOURCES platform/listing_test.cpp
  LIBS corvane_platform_files
  LABELS platform)
corvane_test(audio_device_test
  SOURCES platform/audio_device_test.cpp
  LIBS corvane_platform_audio corvane_platform_realtime corvane_test_sound_card
  LABELS threads)
corvane_test(realtime_test
  SOURCES platform/realtime_test.cpp
  LIBS corvane_platform_realtime
  LABELS threads)
corvane_test(thread_test
  SOURCES platform/thread_test.cpp
  LIBS corvane_platform_threads
  LABELS threads)
corvane_test(reservation_test
  SOURCES platform/reservation_test.cpp
  LIBS corvane_platform_reservation corvane_test_session_bus PkgConfig::DBUS
  LABELS threads)
