# The engine: error reporting, the window on a real display, and the drawing kinds (programs,
# rectangles, lines, text, the window's overlays), handed the application's assets as the
# player hands them.
corvane_test(error_test
  SOURCES engine/error_test.cpp
  LIBS corvane_engine
  DOUBLES LABELS display)
# The refresh rate is checked against what SDL says of the display on Linux; the Windows
# display suite checks it against the system's own answer.
set(window_sources engine/window_test.cpp)
if(NOT WIN32)
  list(APPEND window_sources engine/window_linux_test.cpp)
endif()
corvane_test(window_test
  SOURCES ${window_sources}
  LIBS corvane_engine corvane_assets corvane_test_input
  DOUBLES LABELS display)
corvane_test(drawing_test
  SOURCES engine/drawing_program_test.cpp engine/drawing_rectangle_test.cpp engine/drawing_line_test.cpp
          engine/drawing_text_test.cpp engine/drawing_scripts_test.cpp engine/drawing_overlay_test.cpp
  LIBS corvane_engine corvane_assets corvane_test_input
  DOUBLES LABELS display)
