# A private session bus and the test owner of a card on it (see session_bus.h).
# Built without sanitizers: it is test scenery, and libdbus's own locking order upsets
# ThreadSanitizer.
add_executable(corvane_test_reservation_owner ${CMAKE_CURRENT_LIST_DIR}/reservation_owner.cpp)
set_target_properties(corvane_test_reservation_owner PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS "")
target_link_libraries(corvane_test_reservation_owner PRIVATE PkgConfig::DBUS)

add_library(corvane_test_session_bus STATIC ${CMAKE_CURRENT_LIST_DIR}/session_bus.cpp)
target_include_directories(corvane_test_session_bus PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(corvane_test_session_bus PRIVATE
  CORVANE_TEST_RESERVATION_OWNER="$<TARGET_FILE:corvane_test_reservation_owner>")
add_dependencies(corvane_test_session_bus corvane_test_reservation_owner)
