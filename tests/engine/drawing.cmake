corvane_test(drawing_test
  SOURCES engine/drawing_rectangle_test.cpp
  LIBS corvane_platform_display corvane_test_message_box LABELS display)
