# 32-bit Windows, cross-compiled with mingw-w64; tests run under 32-bit Wine (wine32:i386).
# This is the build whose request blocks have the published 32-bit layout that a real
# wnaspi32.dll reads, and the one for the PCs that still carry SCSI host adapters: it runs on
# Windows XP SP3 and later.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
#
# Windows XP, three ways:
# - The win32 thread model of the compilers (g++-mingw-w64-i686-win32). Debian's POSIX-model
#   runtime links winpthread, built for Vista and later (it imports GetTickCount64), into every
#   program that uses std::thread, std::mutex or std::this_thread. The win32-model libstdc++
#   of GCC 12 has none of std::thread, std::mutex and std::condition_variable, so code that
#   would use them does not compile here; waits and threads come from the platform
#   (transport/thread_seam.h, os_threads()).
# - The Windows headers declare the XP API only (_WIN32_WINNT and WINVER 0x0501): a newer
#   function is a compile error, and structures have their XP size.
# - The executables' PE headers ask for subsystem and OS version 5.01; Windows XP refuses to
#   start a program that asks for a later one.
# tests/wine/check_xp_imports.sh (xp) checks every executable's import table and versions.
set(KORVEL_MINGW_TRIPLET i686-w64-mingw32)
set(KORVEL_MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORVEL_WINE_LOADER /usr/lib/wine/wine)
set(KORVEL_OLDEST_WINDOWS xp)

set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(KORVEL_MINGW_LINKER_FLAGS
    "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1,--major-os-version,5,--minor-os-version,1")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
