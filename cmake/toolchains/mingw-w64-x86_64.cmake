# 64-bit Windows, cross-compiled with mingw-w64; tests run under 64-bit Wine.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
# The POSIX thread model of the compilers: the runtime's winpthread is built for Vista and
# later, and so is this build.
set(KORVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(KORVEL_MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KORVEL_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
