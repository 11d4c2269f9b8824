# The Windows platform layer under Wine: folder listing, shell order, file size and memory;
# the window, its messages and the error boxes; the scheduler's real-time class; the WASAPI
# device through the play thread against the scripted endpoint. The labels keep these apart
# from the Linux suites of the same names.
corvane_test(windows_files_test
  SOURCES platform/windows/files_test.cpp
  LIBS corvane_platform_files
  LABELS windows)
corvane_test(windows_display_test
  SOURCES platform/windows/display_test.cpp
  LIBS corvane_platform_display corvane_platform_message_box corvane_assets
  LABELS windows)
add_dependencies(windows_display_test corvane) # it reads the player's icon resource
corvane_test(windows_realtime_test
  SOURCES platform/windows/realtime_test.cpp
  LIBS corvane_platform_realtime
  LABELS windows)
corvane_test(windows_thread_test
  SOURCES platform/thread_test.cpp
  LIBS corvane_platform_threads
  LABELS windows)
corvane_test(wasapi_test
  SOURCES platform/windows/wasapi_test.cpp
  LIBS corvane_playback corvane_flac_fixture
  LABELS windows)
set_property(TARGET wasapi_test PROPERTY CORVANE_PLATFORM
  corvane_platform_display corvane_platform_files corvane_platform_audio corvane_test_wasapi
  corvane_platform_reservation corvane_platform_threads corvane_test_message_box corvane_test_realtime)

# Reads the player's error box under the same Wine, for the end-to-end tests.
add_executable(corvane_read_box ${CMAKE_SOURCE_DIR}/tests/e2e/windows/read_box.cpp)
