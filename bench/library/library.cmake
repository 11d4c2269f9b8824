# Library scan against find(1) over the same generated tree.
add_executable(bench_library_scan ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
target_link_libraries(bench_library_scan PRIVATE corvane_core corvane_platform corvane_core)
