// The Linux platform: who it is, which locale it runs in, and its sg driver.
#pragma once

#include <cstdint>

#include "platform_seam.h"

namespace korvel {

/// The Windows locale identifier for a POSIX locale name such as "zh_TW.UTF-8"; English
/// (United States) for names it does not know, "C" and "POSIX".
std::uint32_t lcid_from_locale_name(const char* name);

/// The process locale's name, from LC_ALL, then LC_MESSAGES, then LANG (empty ones skipped);
/// "C" when none is set.
const char* process_locale_name();

/// Installs the Linux platform (identity, sg driver and threads) for the rest of the run.
void install_os_platform();
/// Installs the Linux platform with another sg driver (null: none, so no device is found).
void install_os_platform_over(LinuxScsiGeneric* sg);

/// Whether the program runs with root's rights (its effective user id is 0).
bool running_as_root();

}  // namespace korvel
