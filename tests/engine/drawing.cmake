corvane_test(drawing_test
  SOURCES engine/drawing_program_test.cpp engine/drawing_rectangle_test.cpp engine/drawing_line_test.cpp engine/drawing_text_test.cpp engine/drawing_overlay_test.cpp
  LIBS corvane_platform_display corvane_test_message_box LABELS display)
