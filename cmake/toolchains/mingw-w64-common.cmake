# Shared part of the mingw-w64 cross toolchains (Debian's g++-mingw-w64-* packages).
# The including file sets KORVEL_MINGW_TRIPLET, KORVEL_MINGW_THREADS (the compilers' thread
# model: posix or win32), CMAKE_SYSTEM_PROCESSOR and KORVEL_WINE_LOADER.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${KORVEL_MINGW_TRIPLET}-gcc-${KORVEL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KORVEL_MINGW_TRIPLET}-g++-${KORVEL_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KORVEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static (libstdc++, libgcc and, with POSIX threads, winpthread): an .exe needs no
# DLL besides Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${KORVEL_MINGW_LINKER_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${KORVEL_MINGW_LINKER_FLAGS}")

# Test executables run under Wine, in a Wine prefix of the build folder's own. Test discovery
# runs them the same way.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KORVEL_WINE_LOADER} ${CMAKE_BINARY_DIR}/wine-prefix)
