# Cost of text on screen: one character, and the library browser over 2,000 labelled entries
# (labels kept, those seen drawn), against an empty frame of the same run.
# Needs an X display (Xvfb will do).
add_executable(bench_drawing ${CMAKE_CURRENT_LIST_DIR}/drawing_bench.cpp)
target_link_libraries(bench_drawing PRIVATE corvane_engine corvane_assets)
target_include_directories(bench_drawing PRIVATE ${CMAKE_SOURCE_DIR}/tests)
