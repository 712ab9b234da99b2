# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix, the
# compiler with POSIX threads, which std::thread and std::mutex need), and running the built
# programs under Wine (Debian: wine64), so ctest runs Windows tests on Linux.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVARA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVARA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVARA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVARA_MINGW_TRIPLET}-windres)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KELVARA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that carry their C++ runtime need no MinGW DLLs beside them, under Wine or on a
# Windows machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine, with a prefix of their own in the build directory (created at
# the first start, which takes a few seconds), without Wine's diagnostics and without its offer
# to install Mono and Gecko, which no test needs. Wine starts and stops its server by itself.
find_program(KELVARA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KELVARA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
            WINEDLLOVERRIDES=mscoree,mshtml= ${KELVARA_WINE})
endif()
