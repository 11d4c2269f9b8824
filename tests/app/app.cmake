corvane_test(app_commands_test SOURCES app/commands_test.cpp app/browser_test.cpp
  LIBS corvane_platform_display corvane_platform_files corvane_test_message_box corvane_test_audio_device
       corvane_test_realtime corvane_flac_fixture
  LABELS display)
