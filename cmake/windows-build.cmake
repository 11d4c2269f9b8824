# Temporary: the Windows targets until the per-folder build lands.
include(${CMAKE_SOURCE_DIR}/cmake/windows-libraries.cmake)
add_subdirectory(assets)
file(GLOB corvane_core_sources CONFIGURE_DEPENDS engine/*.cpp library/*.cpp playback/*.cpp app/*.cpp)
list(FILTER corvane_core_sources EXCLUDE REGEX "app/main\\.cpp$")
add_library(corvane_core STATIC ${corvane_core_sources})
target_include_directories(corvane_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(corvane_core PUBLIC corvane_assets corvane_flac corvane_freetype corvane_glew corvane_opengl Threads::Threads)

add_library(corvane_platform_wide STATIC platform/windows/wide.cpp)
target_include_directories(corvane_platform_wide PUBLIC ${CMAKE_SOURCE_DIR})
add_library(corvane_platform_display STATIC platform/windows/display.cpp platform/windows/clock.cpp)
target_link_libraries(corvane_platform_display PUBLIC corvane_platform_wide corvane_glew corvane_opengl user32)
add_library(corvane_platform_message_box STATIC platform/windows/message_box.cpp)
target_link_libraries(corvane_platform_message_box PUBLIC corvane_platform_display user32)
add_library(corvane_platform_files STATIC platform/windows/folder_listing.cpp platform/windows/file_size.cpp
  platform/windows/logical_order.cpp platform/windows/memory.cpp)
target_link_libraries(corvane_platform_files PUBLIC corvane_platform_wide shlwapi)
add_library(corvane_platform_audio STATIC platform/windows/audio_device.cpp)
target_link_libraries(corvane_platform_audio PUBLIC corvane_platform_wide ole32 ksuser)
add_library(corvane_platform_audio_endpoint STATIC platform/windows/device_enumerator.cpp)
target_link_libraries(corvane_platform_audio_endpoint PUBLIC corvane_platform_wide ole32)
add_library(corvane_platform_realtime STATIC platform/windows/realtime.cpp)
target_include_directories(corvane_platform_realtime PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(corvane_platform_realtime PUBLIC avrt)

add_library(corvane_platform INTERFACE)
target_link_libraries(corvane_platform INTERFACE corvane_platform_display corvane_platform_message_box
  corvane_platform_files corvane_platform_audio corvane_platform_audio_endpoint corvane_platform_realtime)

add_executable(corvane WIN32 app/main.cpp)
target_link_libraries(corvane PRIVATE corvane_core corvane_platform corvane_core)
