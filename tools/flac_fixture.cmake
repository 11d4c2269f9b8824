# FLAC fixture writer on libFLAC's encoder: a library for tests and benchmarks, and the same
# as a command-line program for scripts and the demo library.
add_library(corvane_flac_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/flac_fixture/flac_fixture.cpp)
target_include_directories(corvane_flac_fixture PUBLIC ${CMAKE_CURRENT_LIST_DIR}/flac_fixture)
target_link_libraries(corvane_flac_fixture PUBLIC PkgConfig::FLAC)

add_executable(flac_fixture ${CMAKE_CURRENT_LIST_DIR}/flac_fixture/main.cpp)
target_link_libraries(flac_fixture PRIVATE corvane_flac_fixture)
