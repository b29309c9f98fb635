# 32-bit Windows, cross-compiled with mingw-w64; tests run under 32-bit Wine (wine32:i386).
# This is the build whose request blocks have the published 32-bit layout that a real
# wnaspi32.dll reads.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
set(KORVEL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORVEL_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
