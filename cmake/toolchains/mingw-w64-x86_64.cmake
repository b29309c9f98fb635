# 64-bit Windows, cross-compiled with mingw-w64; tests run under 64-bit Wine.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
# It runs on 64-bit Windows Vista and later:
# - The POSIX thread model of the compilers: the runtime's winpthread is built for Vista and
#   later (it imports GetTickCount64, which XP x64 lacks).
# - The Windows headers declare the Vista API only (_WIN32_WINNT and WINVER 0x0600): a
#   function of Windows 7 or later is a compile error rather than a program that Vista
#   refuses to start.
# tests/wine/check_xp_imports.sh (vista) checks every executable's import table and versions.
set(KORVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(KORVEL_MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KORVEL_WINE_LOADER /usr/lib/wine/wine64)
set(KORVEL_OLDEST_WINDOWS vista)

set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0600 -DWINVER=0x0600")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0600 -DWINVER=0x0600")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WINNT=0x0600 -DWINVER=0x0600")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
