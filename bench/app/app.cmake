# Frames per second of the whole player with the browser over a 2,000-track folder and with
# the waveform of a playing track, against the empty frame loop of the same run. Needs an X
# display (Xvfb will do); plays through the tests' paced sound card.
add_executable(bench_app ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
target_include_directories(bench_app PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_app PRIVATE corvane_app corvane_test_sound_card corvane_flac_fixture corvane_test_support)
add_dependencies(bench_app corvane_test_sound_card_plugin)
