# The libraries of the Windows build, under the names the Linux build finds them by:
# libFLAC, FreeType, GLEW and HarfBuzz from the prefix that tools/build-windows.sh fills
# (static, built from Debian's sources), OpenGL from the system.
set(corvane_deps ${CORVANE_WINDOWS_DEPS})
if(NOT EXISTS ${corvane_deps}/lib/libFLAC.a)
  message(FATAL_ERROR "No Windows libraries in \"${corvane_deps}\": run tools/build-windows.sh")
endif()

function(corvane_imported name library include)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${corvane_deps}/lib/${library}
    INTERFACE_INCLUDE_DIRECTORIES ${include})
endfunction()

add_library(OpenGL::GL INTERFACE IMPORTED GLOBAL)
set_property(TARGET OpenGL::GL PROPERTY INTERFACE_LINK_LIBRARIES opengl32 gdi32)
corvane_imported(PkgConfig::FLAC libFLAC.a ${corvane_deps}/include)
set_property(TARGET PkgConfig::FLAC PROPERTY INTERFACE_COMPILE_DEFINITIONS FLAC__NO_DLL)
corvane_imported(Freetype::Freetype libfreetype.a ${corvane_deps}/include/freetype2)
corvane_imported(PkgConfig::HARFBUZZ libharfbuzz.a ${corvane_deps}/include/harfbuzz)
set_property(TARGET PkgConfig::HARFBUZZ PROPERTY INTERFACE_LINK_LIBRARIES Freetype::Freetype)
corvane_imported(GLEW::GLEW libglew32.a ${corvane_deps}/include)
set_property(TARGET GLEW::GLEW PROPERTY INTERFACE_COMPILE_DEFINITIONS GLEW_STATIC GLEW_NO_GLU)
set_property(TARGET GLEW::GLEW PROPERTY INTERFACE_LINK_LIBRARIES OpenGL::GL)

# One file to copy: the C and C++ runtimes and winpthreads linked in.
add_link_options(-static)
