// A userspace SCSI target through the kernel's TCMU (target_core_user): the kernel puts each
// command for a "user" backstore into a ring in memory it shares through /dev/uioN, and a
// program like this one answers it there. Used by the guest of the real-kernel test to serve
// simulated bridges to the guest's real SCSI stack; never linked into the programs.
//
// Every offset and length the kernel writes into the shared memory is checked against the
// mapping before it is used: a ring whose head, entry lengths, CDB offset or data segments
// point outside it is given up (nothing more is read from it), and a command whose data will
// not fit the handler's buffer is answered with CHECK CONDITION.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

/// Devices one program serves at most.
inline constexpr std::size_t TCMU_MAX_DEVICES = 32;
/// The longest CDB taken (tcm_loop's own limit); a longer one is answered ILLEGAL REQUEST.
inline constexpr std::size_t TCMU_MAX_CDB_LENGTH = 32;
/// The most data one command may carry to or from the handler.
inline constexpr std::uint32_t TCMU_MAX_DATA_LENGTH = 1u << 20;
/// Sense bytes the ring has room for.
inline constexpr std::size_t TCMU_SENSE_CAPACITY = 96;
/// Length of a device's configuration string, its terminating zero included.
inline constexpr std::size_t TCMU_CONFIG_CAPACITY = 256;

/// One command as the handler receives it.
struct TcmuRequest {
    std::uint8_t cdb[TCMU_MAX_CDB_LENGTH] = {};
    std::size_t cdb_length = 0;
    /// The command's data: the bytes the initiator sent for data-out commands; the handler
    /// writes the bytes it returns here for data-in commands.
    std::uint8_t* data = nullptr;
    /// Length of the data phase the initiator set up (0: none).
    std::uint32_t length = 0;
};

/// The handler's answer.
struct TcmuReply {
    std::uint8_t status = 0;
    std::uint8_t sense[TCMU_SENSE_CAPACITY] = {};
    std::size_t sense_length = 0;
    /// Bytes of request.data to return to the initiator (data-in commands), at most its length.
    std::uint32_t data_in_length = 0;
};

class TcmuHandler {
public:
    virtual ~TcmuHandler() = default;
    /// Answers one command of the device with that index (in the order tcmu_open_devices
    /// found them).
    virtual void answer(std::size_t device, const TcmuRequest& request, TcmuReply& reply) = 0;
};

/// Answers every command waiting in one ring: `base` and `size` are the shared memory of one
/// device as mapped. Returns the count of commands answered (padding and unknown entries are
/// stepped over), or -1 when the ring breaks a bound; then the tail is left where the last
/// good entry ended.
int tcmu_answer_ring(std::uint8_t* base, std::size_t size, std::size_t device,
                     TcmuHandler& handler);

/// Opens and maps every TCMU device whose configuration string (the backstore's dev_config)
/// starts with `prefix`, in the order of their uio numbers. Returns how many are open.
std::size_t tcmu_open_devices(const char* prefix);
/// The configuration string of an open device ("" beyond the count).
const char* tcmu_device_config(std::size_t device);
/// Waits up to timeout_ms for the kernel to signal any open device, then answers what waits
/// in every ring and tells the kernel. Returns the count of commands answered, or -1 when no
/// device is left to serve (none open, or every ring given up).
int tcmu_serve(TcmuHandler& handler, int timeout_ms);
/// Unmaps and closes every open device.
void tcmu_close_devices();

}  // namespace korvel
