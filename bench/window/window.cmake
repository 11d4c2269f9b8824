add_executable(bench_frame_loop ${CMAKE_CURRENT_LIST_DIR}/frame_loop.cpp)
target_link_libraries(bench_frame_loop PRIVATE corvane_engine corvane_assets)
target_include_directories(bench_frame_loop PRIVATE ${CMAKE_SOURCE_DIR}/tests)
