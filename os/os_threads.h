// The machine's own waits and threads behind thread_seam.h: Win32 on Windows, POSIX threads on
// Linux. install_os_platform installs them with the rest of the platform; the simulation and
// the tests use them directly.
//
// This header stays free of operating-system headers.
#pragma once

#include "thread_seam.h"

namespace korvel {

/// The operating system's waits and threads.
Threads& os_threads();

}  // namespace korvel
