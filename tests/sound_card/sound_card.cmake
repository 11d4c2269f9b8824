# The tests' virtual sound card: the ALSA plugin, the helper that writes its configuration,
# and the same helper as a command for scripts. See tests/sound_card/README.md.

# Built without sanitizers so that any process can load it (a sanitized test binary as well
# as aplay); it runs on the calling thread only.
add_library(corvane_test_sound_card_plugin MODULE ${CMAKE_CURRENT_LIST_DIR}/test_sound_card_plugin.cpp)
set_target_properties(corvane_test_sound_card_plugin PROPERTIES
  PREFIX "lib" OUTPUT_NAME "asound_module_pcm_corvane_test"
  COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS "")
target_compile_definitions(corvane_test_sound_card_plugin PRIVATE PIC) # ALSA's marker of a loadable plugin
target_link_libraries(corvane_test_sound_card_plugin PRIVATE PkgConfig::ALSA)

add_library(corvane_test_sound_card STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_card.cpp)
target_include_directories(corvane_test_sound_card PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(corvane_test_sound_card PRIVATE
  CORVANE_TEST_SOUND_CARD_PLUGIN="$<TARGET_FILE:corvane_test_sound_card_plugin>")
add_dependencies(corvane_test_sound_card corvane_test_sound_card_plugin)

add_executable(corvane_test_sound_card_config ${CMAKE_CURRENT_LIST_DIR}/sound_card_config.cpp)
set_target_properties(corvane_test_sound_card_config PROPERTIES OUTPUT_NAME "corvane_test_sound_card")
target_link_libraries(corvane_test_sound_card_config PRIVATE corvane_test_sound_card)
