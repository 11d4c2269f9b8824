add_library(corvane_e2e_support STATIC e2e/e2e_support.cpp)
target_link_libraries(corvane_e2e_support PUBLIC corvane_test_support PkgConfig::X11)
target_include_directories(corvane_e2e_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
# Where the executable and the suite's files are, also when a test runs outside CTest.
target_compile_definitions(corvane_e2e_support PRIVATE
  CORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}" CORVANE_BINARY_DIR="${CMAKE_BINARY_DIR}")

function(corvane_e2e_test name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE corvane_e2e_support GTest::gtest GTest::gtest_main)
  add_dependencies(${name} corvane)
  # One at a time: they share the display's focus, keyboard and pointer. The discovered
  # tests' properties take single values only.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS e2e RUN_SERIAL TRUE)
endfunction()

corvane_e2e_test(window_e2e_test e2e/window_e2e_test.cpp)
target_link_libraries(window_e2e_test PRIVATE PkgConfig::XRANDR)

# The player in generated libraries, heard through the paced test card.
corvane_e2e_test(player_e2e_test e2e/player_e2e_test.cpp e2e/player_session.cpp)
target_link_libraries(player_e2e_test PRIVATE corvane_test_sound_card corvane_test_session_bus corvane_flac_fixture)
add_dependencies(player_e2e_test corvane_test_sound_card_plugin)

# corvane.exe under Wine, when tools/test-windows.sh names the Windows build.
corvane_e2e_test(windows_e2e_test e2e/windows_e2e_test.cpp e2e/player_session.cpp)
target_link_libraries(windows_e2e_test PRIVATE corvane_test_sound_card corvane_test_session_bus corvane_flac_fixture)
