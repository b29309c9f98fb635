// The claim on Windows is a named mutex that stays open for the run; Windows destroys it when
// its last handle closes, however the process ends. The mutex is never waited for: that it
// exists is the claim.
#include "one_copy.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "platform_seam.h"

namespace korvel {

namespace {

// The mutex whose name is the claim; null while none is held.
HANDLE claim_mutex = nullptr;

}  // namespace

CopyClaim claim_one_copy(const char* name) {
    if (claim_mutex != nullptr) return CopyClaim::taken;
    if (name == nullptr || name[0] == '\0') return CopyClaim::unavailable;
    // The NT family keeps a namespace per session: Global\ puts the name where the copies of
    // every session and user meet. The 9x family has one namespace and no backslash in names.
    PlatformIdentity* identity = installed_platform().identity;
    const bool nt_family =
        identity == nullptr || identity->family() != PlatformFamily::windows_9x;
    char full_name[MAX_PATH];
    const int length = std::snprintf(full_name, sizeof full_name, "%s%s",
                                     nt_family ? "Global\\" : "", name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof full_name) {
        return CopyClaim::unavailable;
    }
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, full_name);
    const DWORD error = GetLastError();
    // A mutex that another user's copy made may refuse this user: it exists all the same.
    if (mutex == nullptr) {
        return error == ERROR_ACCESS_DENIED ? CopyClaim::taken : CopyClaim::unavailable;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        // This handle would keep the other copy's mutex alive after that copy ends.
        CloseHandle(mutex);
        return CopyClaim::taken;
    }
    claim_mutex = mutex;
    return CopyClaim::claimed;
}

void release_one_copy() {
    if (claim_mutex == nullptr) return;
    CloseHandle(claim_mutex);
    claim_mutex = nullptr;
}

}  // namespace korvel
