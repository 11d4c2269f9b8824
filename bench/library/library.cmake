# Library scan against find(1) over the same generated tree.
add_executable(bench_library_scan ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
target_link_libraries(bench_library_scan PRIVATE corvane_library corvane_test_support)
target_include_directories(bench_library_scan PRIVATE ${CMAKE_SOURCE_DIR}/tests)
