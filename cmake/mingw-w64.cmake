# Cross-building the Windows programs with Debian's MinGW-w64 (the posix thread model, so that
# std::thread works), and running what was built under Wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEMOR_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEMOR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEMOR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VEMOR_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEMOR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes into each .exe, so nothing has to lie beside it on the user's machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Runs tests and other built programs; the build replaces it with a wrapper that gives Wine
# a prefix of its own in the build tree (cmake/Windows.cmake).
find_program(VEMOR_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT VEMOR_WINE64)
    find_program(VEMOR_WINE64 NAMES wine64 wine)
endif()
if(VEMOR_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEMOR_WINE64})
endif()
