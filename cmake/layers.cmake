# Layers the build enforces. Every folder's headers are included as "folder/name.h"; a layer's
# library sees only the folders it names, through a view of the build tree that holds one link
# to each of them, so a header of a higher layer is simply not found.

# corvane_headers(TARGET FOLDER): TARGET's users (and TARGET itself) see FOLDER's headers.
function(corvane_headers target folder)
  set(view ${CMAKE_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()

# corvane_layer(NAME FOLDER SOURCES a.cpp ... USES lib ...): the library of one folder of
# portable code, knowing only the libraries it uses.
function(corvane_layer name folder)
  cmake_parse_arguments(L "" "" "SOURCES;USES" ${ARGN})
  list(TRANSFORM L_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/${folder}/)
  add_library(${name} STATIC ${L_SOURCES})
  corvane_headers(${name} ${folder})
  target_link_libraries(${name} PUBLIC ${L_USES})
endfunction()

# corvane_header_file(TARGET FOLDER/NAME.h): TARGET sees this one header of another layer.
function(corvane_header_file target header)
  string(MAKE_C_IDENTIFIER ${header} id)
  get_filename_component(folder ${header} DIRECTORY)
  set(view ${CMAKE_BINARY_DIR}/layers/${id})
  file(MAKE_DIRECTORY ${view}/${folder})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${header} ${view}/${header} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${view})
endfunction()
