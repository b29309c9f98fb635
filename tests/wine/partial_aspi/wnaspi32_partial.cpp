// A wnaspi32.dll that exports SendASPI32Command but not GetASPI32SupportInfo, placed beside
// wine_partial_aspi_tests.exe so that LoadLibraryA finds it before Wine's own. It notes its
// loading and unloading in the process environment, where the test reads them.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* /*srb*/) {
    return 0xE0;  // SS_INVALID_SRB: this library serves nothing
}

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableA("KORVEL_PARTIAL_ASPI", "loaded");
    if (reason == DLL_PROCESS_DETACH) SetEnvironmentVariableA("KORVEL_PARTIAL_ASPI", "freed");
    return TRUE;
}
