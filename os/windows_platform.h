// The Windows platform behind the transport's seams: GetVersion and the system locale, the
// run-time loading of wnaspi32.dll, and the NT family's device names, SCSI I/O controls,
// registry and token privileges.
//
// This header stays free of Windows headers so that the program start can include it.
#pragma once

#include "platform_seam.h"

namespace korvel {

/// The platform identity over GetVersion and GetSystemDefaultLCID.
PlatformIdentity& windows_identity();
/// LoadLibraryA / GetProcAddress / FreeLibrary.
AspiLibraryLoader& windows_aspi_library_loader();
/// The NT family's pass-through service and what the enumeration needs around it.
NtPassThrough& windows_nt_pass_through();

/// Installs the Windows platform for the rest of the run: identity, ASPI library loader,
/// pass-through and threads. On the 9x family the pass-through is installed too; it finds no
/// device there.
void install_os_platform();

}  // namespace korvel
