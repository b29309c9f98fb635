#include "lib_wnaspi32.h"

#include <atomic>
#include <cstddef>

#include "aspi_srb.h"
#include "linux_sg_provider.h"
#include "nt_emulation.h"
#include "pass_through_worker.h"
#include "platform_seam.h"
#include "thread_seam.h"

namespace korvel {

namespace {

// A library handle counts as loaded only above this value (LoadLibrary's old error range).
constexpr OsHandle LOADED_HANDLE_FLOOR = 32;

OsHandle library_handle = 0;
SendAspiCommandFn send_entry = nullptr;
GetAspiSupportInfoFn support_entry = nullptr;

// Which emulation answers when the library does not: the NT pass-through service, or the sg
// driver on Linux. Both fill the same device table.
enum class Emulation : std::uint8_t { nt_pass_through, linux_sg };
Emulation emulation = Emulation::nt_pass_through;

// Some libraries answer a request with a final status from the send call but never write it
// into the block (Wine's does so for host adapter inquiries). The caller waits for the block's
// status without a time limit, so a final status that only the return value carries is put
// into the block; a status the library wrote itself is never overwritten.
std::uint8_t send_to_library(void* srb) {
    const auto returned = static_cast<std::uint8_t>(send_entry(srb) & 0xFFu);
    if (returned != SS_PENDING) {
        std::atomic_ref<std::uint8_t> status(
            static_cast<std::uint8_t*>(srb)[offsetof(SRB_Header, SRB_Status)]);
        std::uint8_t still_pending = SS_PENDING;
        status.compare_exchange_strong(still_pending, returned, std::memory_order_acq_rel);
    }
    return returned;
}

}  // namespace

bool aspi_library_mode() { return library_handle > LOADED_HANDLE_FLOOR; }

void aspi_load() {
    clear_host_flags();
    const Platform& platform = installed_platform();
    const bool on_linux =
        platform.identity != nullptr && platform.identity->family() == PlatformFamily::linux_kernel;
    emulation = on_linux ? Emulation::linux_sg : Emulation::nt_pass_through;
    const bool windows_9x =
        platform.identity != nullptr && platform.identity->family() == PlatformFamily::windows_9x;
    if (windows_9x && platform.aspi_library != nullptr) {
        AspiLibraryLoader& loader = *platform.aspi_library;
        library_handle = loader.load_library("wnaspi32.dll");
        if (aspi_library_mode()) {
            void* send = loader.find_entry(library_handle, "SendASPI32Command");
            void* support = loader.find_entry(library_handle, "GetASPI32SupportInfo");
            if (send == nullptr || support == nullptr) {
                // A library without both entry points cannot serve a single request: treat it
                // as absent and let the emulation answer.
                loader.free_library(library_handle);
                library_handle = 0;
            } else {
                send_entry = reinterpret_cast<SendAspiCommandFn>(send);
                support_entry = reinterpret_cast<GetAspiSupportInfoFn>(support);
                return;
            }
        }
        library_handle = 0;
        // The 9x family without a usable library falls through to the emulation, whose table
        // starts empty like any NT start.
    }
    clear_device_table();
}

std::uint32_t aspi_support_info() {
    if (aspi_library_mode()) return support_entry();
    const std::int32_t hosts =
        emulation == Emulation::linux_sg ? enumerate_sg_devices() : enumerate_devices();
    if (hosts >= 1) return 0x0100u + static_cast<std::uint32_t>(hosts);
    return 1;  // status byte 0: callers take it as a failed start
}

std::uint8_t aspi_send_command(void* srb) {
    if (aspi_library_mode()) return send_to_library(srb);

    // The header is read and written as bytes: the block is one of two request types.
    auto* header = static_cast<std::uint8_t*>(srb);
    if (header[offsetof(SRB_Header, SRB_Cmd)] == SC_EXEC_SCSI_CMD) {
        // Carried out on the worker thread, which writes the final status itself. The status
        // is not touched here: the block may still belong to a request of its own under way,
        // and send_to_worker marks it pending only once that one has ended.
        auto& exec = *static_cast<SRB_ExecSCSICmd*>(srb);
        return send_to_worker(exec, emulation == Emulation::linux_sg ? sg_exec_scsi
                                                                     : emulate_exec_scsi);
    }
    header[offsetof(SRB_Header, SRB_Status)] = SS_PENDING;
    std::uint8_t status;
    switch (header[offsetof(SRB_Header, SRB_Cmd)]) {
        case SC_HA_INQUIRY: {
            auto& inquiry = *static_cast<SRB_HAInquiry*>(srb);
            status = emulation == Emulation::linux_sg ? sg_ha_inquiry(inquiry)
                                                      : emulate_ha_inquiry(inquiry);
            break;
        }
        case SC_ABORT_SRB:
            status = SS_PENDING;
            break;
        default:
            status = SS_ERR;
            break;
    }
    header[offsetof(SRB_Header, SRB_Status)] = status;
    return status;
}

void aspi_wait(std::uint32_t milliseconds) {
    if (aspi_library_mode()) {
        platform_sleep(milliseconds);
    } else {
        wait_for_worker(milliseconds);
    }
}

std::uint8_t aspi_send_and_wait(void* srb) {
    aspi_send_command(srb);
    std::atomic_ref<std::uint8_t> status(
        static_cast<std::uint8_t*>(srb)[offsetof(SRB_Header, SRB_Status)]);
    std::uint8_t final_status = SS_PENDING;
    while ((final_status = status.load(std::memory_order_acquire)) == SS_PENDING) {
        platform_yield();
    }
    return final_status;
}

void aspi_unload() {
    if (aspi_library_mode()) {
        AspiLibraryLoader* loader = installed_platform().aspi_library;
        if (loader != nullptr) loader->free_library(library_handle);
        library_handle = 0;
        send_entry = nullptr;
        support_entry = nullptr;
        return;
    }
    // The request under way ends first: its handle is closed after it, and only once.
    stop_worker();
    if (emulation == Emulation::linux_sg) {
        close_all_sg_devices();
    } else {
        close_all_devices();
    }
}

}  // namespace korvel
