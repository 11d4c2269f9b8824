corvane_test(window_test SOURCES engine/window_test.cpp
  LIBS corvane_platform_display corvane_test_message_box LABELS display)
corvane_test(error_test SOURCES engine/error_test.cpp app/application_test.cpp
  LIBS corvane_platform_display corvane_test_message_box LABELS display)
