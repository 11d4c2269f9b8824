# Playback: decoding, the play thread against the in-memory sound card, the description line.
corvane_test(playback_track_test
  SOURCES playback/track_load_test.cpp playback/track_failure_test.cpp
  LIBS corvane_playback corvane_flac_fixture
  DOUBLES LABELS threads)
if(WIN32) # no session bus: Windows arbitrates the card itself
  corvane_test(playback_play_test
    SOURCES playback/play_process_test.cpp playback/play_failure_test.cpp
    LIBS corvane_playback corvane_flac_fixture
    DOUBLES LABELS threads)
else()
  corvane_test(playback_play_test
    SOURCES playback/play_process_test.cpp playback/play_failure_test.cpp playback/play_reservation_test.cpp
    LIBS corvane_playback corvane_flac_fixture corvane_test_session_bus
    DOUBLES LABELS threads)
endif()
# It caps the address space with setrlimit. Windows has no such cap: a job's memory limit
# counts committed memory, and a declared length is only reserved. Filling the address space
# with reservations instead costs Wine a byte per reserved page (gigabytes in seconds).
if(NOT WIN32)
  corvane_test(playback_external_error_test
    SOURCES playback/external_error_test.cpp
    LIBS corvane_playback corvane_flac_fixture
    DOUBLES LABELS threads)
endif()
corvane_test(playback_info_test
  SOURCES playback/track_info_test.cpp
  LIBS corvane_playback corvane_flac_fixture
  DOUBLES LABELS playback)
