# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain. The posix thread model
# is the one with std::thread and std::mutex. Libraries are looked up only in the toolchain's
# own sysroot and in the prefix where tools/build-windows.sh puts the dependencies it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "")

set(CORVANE_WINDOWS_DEPS "" CACHE PATH "Prefix of the cross-built dependencies")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CORVANE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
