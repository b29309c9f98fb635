// A DLL that only carries a version resource (version_fixture.rc) for the Wine tests.
#include <windows.h>

extern "C" __declspec(dllexport) int korvel_version_fixture() { return 1; }
