# Load time, load memory and render time of the player, against baselines of the same run.
# The in-memory sound card stands in for ALSA so that the figures are the player's own.
add_executable(bench_playback ${CMAKE_CURRENT_LIST_DIR}/playback_bench.cpp)
target_include_directories(bench_playback PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_playback PRIVATE corvane_playback corvane_flac_fixture corvane_test_support PkgConfig::FLAC)
set_property(TARGET bench_playback PROPERTY CORVANE_PLATFORM ${CORVANE_TEST_PLATFORM})
