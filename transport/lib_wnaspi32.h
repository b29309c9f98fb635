// The ASPI service layer: the program's only road to SCSI devices.
//
// It answers the two ASPI for Win32 entry points under its own names and hides which provider
// answers them: the system's wnaspi32.dll on the Windows 9x family, or the program's own
// emulation over the platform's pass-through service everywhere else (on Linux, the sg driver).
#pragma once

#include <cstdint>

namespace korvel {

/// Chooses the provider: loads wnaspi32.dll on the 9x family, else prepares the emulation
/// (over the sg driver on Linux, over NT pass-through elsewhere).
void aspi_load();
/// Bits 8-15 status, bits 0-7 host adapter count. In emulation mode this enumerates devices.
std::uint32_t aspi_support_info();
/// Sends a 60- or 80-byte request block; returns its status byte (read SRB_Status instead).
std::uint8_t aspi_send_command(void* srb);
/// Waits until the emulation's request under way has ended or the time has passed (in library
/// mode, or with nothing under way, simply that long at most).
void aspi_wait(std::uint32_t milliseconds);
/// Sends a request block and waits, without pumping any window, until its status is final;
/// returns that status. For requests that end by themselves (not SC_ABORT_SRB).
std::uint8_t aspi_send_and_wait(void* srb);
/// Frees the library, or closes every device handle of the emulation.
void aspi_unload();

/// Whether the library answers (its handle is above 32) rather than the emulation.
bool aspi_library_mode();

}  // namespace korvel
