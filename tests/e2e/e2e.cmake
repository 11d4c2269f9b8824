add_library(corvane_e2e_support STATIC e2e/e2e_support.cpp)
target_include_directories(corvane_e2e_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)

function(corvane_e2e_test name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE corvane_e2e_support GTest::gtest GTest::gtest_main)
  add_dependencies(${name} corvane)
  # One at a time: they share the display's focus and keyboard.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "display;e2e" RUN_SERIAL TRUE
    ENVIRONMENT "CORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};CORVANE_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

corvane_e2e_test(window_e2e_test e2e/window_e2e_test.cpp)
