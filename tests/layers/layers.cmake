# The layers as the build enforces them: for each layer, a throw-away source that includes a
# header of a layer it must not know has to fail to build for want of that header, and one
# that includes a header it may know has to build. The sources live in the build tree; the
# test builds them, as a user's build would, through check.cmake.
set(layer_checks)

# corvane_layer_check(NAME LIBRARY HEADER ALLOWED|FORBIDDEN)
function(corvane_layer_check name library header verdict)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/layers/${name}.cpp)
  file(WRITE ${source} "// Layer check: ${library} ${verdict} to include ${header}.\n#include \"${header}\"\n")
  add_library(layer_check_${name} OBJECT EXCLUDE_FROM_ALL ${source})
  target_link_libraries(layer_check_${name} PRIVATE ${library})
  set(layer_checks ${layer_checks} "layer_check_${name}:${verdict}:${header}" PARENT_SCOPE)
endfunction()

corvane_layer_check(engine_sees_platform corvane_engine platform/display.h ALLOWED)
corvane_layer_check(engine_sees_library corvane_engine library/directory.h FORBIDDEN)
corvane_layer_check(engine_sees_assets corvane_engine assets/assets.h FORBIDDEN)
corvane_layer_check(platform_sees_engine corvane_platform_display engine/exception.h FORBIDDEN)
corvane_layer_check(library_sees_engine corvane_library engine/window.h ALLOWED)
corvane_layer_check(library_sees_playback corvane_library playback/track.h FORBIDDEN)
corvane_layer_check(library_sees_app corvane_library app/application.h FORBIDDEN)
corvane_layer_check(playback_sees_file corvane_playback library/file.h ALLOWED)
corvane_layer_check(playback_sees_directory corvane_playback library/directory.h FORBIDDEN)
corvane_layer_check(playback_sees_app corvane_playback app/application.h FORBIDDEN)
corvane_layer_check(app_sees_all corvane_app playback/track.h ALLOWED)

add_test(NAME layer_check
  COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR} "-DCHECKS=${layer_checks}"
          -P ${CMAKE_CURRENT_LIST_DIR}/check.cmake)
# It builds in the suite's own tree: nothing else may build there meanwhile.
set_tests_properties(layer_check PROPERTIES LABELS unit RUN_SERIAL TRUE)
