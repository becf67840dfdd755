# Cross-built Windows programs: tests and tools run under Wine through a wrapper that keeps a
# prefix in the build tree. Included by the top-level file when building for Windows.
if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()
if(NOT VEMOR_WINE64)
    message(WARNING "wine64 not found: the Windows programs build, but no test can run")
    return()
endif()
find_program(VEMOR_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_DEFAULT_PATH)
if(NOT VEMOR_WINESERVER)
    find_program(VEMOR_WINESERVER NAMES wineserver REQUIRED)
endif()
set(VEMOR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VEMOR_NATIVE_SIM "" CACHE FILEPATH
    "vemor-sim built for Linux: the other end of COM10 in the tests under Wine")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE
               @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
