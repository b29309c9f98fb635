// The emulation's execute requests, carried out on a thread of its own.
//
// ASPI is asynchronous: the send returns SS_PENDING and the caller waits for the block's
// status, pumping its window meanwhile. The pass-through services themselves (NT's
// IOCTL_SCSI_PASS_THROUGH_DIRECT, Linux's SG_IO) block until the device answers, which for a
// flash write takes seconds. So the emulation hands each execute request to one worker thread
// and returns at once; the worker carries it out, writes the block's results and then its
// status with release ordering, which the caller's acquire loads pair with. Requests run one
// at a time, in the order they were sent; the block and its buffers stay the caller's.
#pragma once

#include <cstdint>

#include "aspi_srb.h"

namespace korvel {

/// Carries out one execute request synchronously and returns its final status byte; the
/// block's status byte is left to send_to_worker.
using ExecuteRequest = std::uint8_t (*)(SRB_ExecSCSICmd& srb);

/// Hands srb to the worker (started on first use) to be carried out by execute, once the
/// request before it has ended; returns SS_PENDING. The block's status reads SS_PENDING from
/// the hand-over until the request's final status is written. Without the platform's threads
/// the request is carried out here, and its final status written and returned.
std::uint8_t send_to_worker(SRB_ExecSCSICmd& srb, ExecuteRequest execute);

/// Waits until the worker is idle (the request under way has written its status) or the time
/// has passed; sleeps that long when there is no worker.
void wait_for_worker(std::uint32_t milliseconds);

/// Waits for the request being carried out, if any, and ends the worker.
void stop_worker();

}  // namespace korvel
