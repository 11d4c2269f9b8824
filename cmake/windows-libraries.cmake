# The libraries of the Windows build as imported targets: libFLAC, FreeType, GLEW and HarfBuzz
# from the prefix that tools/build-windows.sh fills (static, built from Debian's sources), and
# the system's own import libraries.
set(corvane_deps ${CORVANE_WINDOWS_DEPS})
if(NOT EXISTS ${corvane_deps}/lib/libFLAC.a)
  message(FATAL_ERROR "No Windows libraries in \"${corvane_deps}\": run tools/build-windows.sh")
endif()

function(corvane_imported name library)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${corvane_deps}/lib/${library}
    INTERFACE_INCLUDE_DIRECTORIES "${ARGN}")
endfunction()

corvane_imported(corvane_flac libFLAC.a ${corvane_deps}/include)
set_property(TARGET corvane_flac PROPERTY INTERFACE_COMPILE_DEFINITIONS FLAC__NO_DLL)
corvane_imported(corvane_freetype libfreetype.a ${corvane_deps}/include/freetype2)
corvane_imported(corvane_glew libglew32.a ${corvane_deps}/include)
set_property(TARGET corvane_glew PROPERTY INTERFACE_COMPILE_DEFINITIONS GLEW_STATIC GLEW_NO_GLU)
set_property(TARGET corvane_glew PROPERTY INTERFACE_LINK_LIBRARIES opengl32)
corvane_imported(corvane_harfbuzz libharfbuzz.a ${corvane_deps}/include/harfbuzz)
set_property(TARGET corvane_harfbuzz PROPERTY INTERFACE_LINK_LIBRARIES corvane_freetype)
add_library(corvane_opengl INTERFACE)
target_link_libraries(corvane_opengl INTERFACE opengl32 gdi32)

# One file to copy: the C and C++ runtimes and winpthreads linked in.
add_link_options(-static)
