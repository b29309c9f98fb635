// The claim on Linux is a name in the kernel's abstract namespace of Unix sockets, bound by a
// socket that stays open for the run. It was chosen over a lock file (flock on a file opened
// with O_NOFOLLOW in /run/lock) because nothing of it is on disk: no user can replace it,
// link it elsewhere or leave a stale one behind, the kernel frees it however the process ends,
// and it needs no folder that a system might lack. Abstract names are one set per network
// namespace, the host's for every desktop session.
#include "one_copy.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace korvel {

namespace {

// The socket whose bound name is the claim; -1 while none is held.
int claim_socket = -1;

}  // namespace

CopyClaim claim_one_copy(const char* name) {
    if (claim_socket >= 0) return CopyClaim::taken;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = name == nullptr ? 0 : std::strlen(name);
    // An abstract name starts with a zero byte and is exactly as long as the address says.
    if (length == 0 || 1 + length > sizeof address.sun_path) return CopyClaim::unavailable;
    std::memcpy(address.sun_path + 1, name, length);
    // Close-on-exec: a program this one starts must not hold the claim after it has ended.
    const int bound = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bound < 0) return CopyClaim::unavailable;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(bound, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        const int error = errno;
        close(bound);
        return error == EADDRINUSE ? CopyClaim::taken : CopyClaim::unavailable;
    }
    claim_socket = bound;
    return CopyClaim::claimed;
}

void release_one_copy() {
    if (claim_socket < 0) return;
    close(claim_socket);
    claim_socket = -1;
}

}  // namespace korvel
