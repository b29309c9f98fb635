// A simulated KORVEL bridge board (or PV70 copier board): the drive it presents, its
// identification pages, and the firmware buffers its controller keeps.
//
// Besides what every SimDevice answers (standard INQUIRY, INQUIRY with EVPD for the pages set
// with set_vpd_page, TEST UNIT READY, REQUEST SENSE) a bridge answers:
//   - READ CAPACITY(10) with its configured 8 bytes, or CHECK CONDITION when it has none;
//   - operation 0x42 (READ SUB-CHANNEL layout) with a short "no current audio status" answer;
//   - READ BUFFER (0x3C) and WRITE BUFFER (0x3B) with mode byte 0x17, 10-byte CDB, buffer ID in
//     byte 2, 24-bit offset in bytes 3-5 and 24-bit length in bytes 6-8.
//
// The firmware memory a board keeps depends on its kind:
//   bridge: WRITE BUFFER 0x76, 0x78, 0x7C and 0x7D each store into an area of their own
//           (offsets from 0); READ BUFFER 0x78, 0x7C and 0x7D return their area. Buffer 0x78
//           at offsets from 0x080000 (byte 3 = 0x08) is a separate "upper" area. WRITE BUFFER
//           0x71 with no data completes and stores nothing.
//   copier board: one memory at absolute board addresses from 0x100000, written by WRITE
//           BUFFER 0x64 and read by READ BUFFER 0x62; WRITE BUFFER 0x61 with no data ends a
//           firmware write (its offset field carries a value, recorded).
// Any other mode byte or buffer ID, a length field that differs from the data phase, a data
// phase in the wrong direction, or bytes outside the memory end in CHECK CONDITION, ILLEGAL
// REQUEST, INVALID FIELD IN CDB; nothing is stored then.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "os_threads.h"
#include "sim_device.h"

namespace korvel {

// Operation codes a bridge answers beyond the base device.
inline constexpr std::uint8_t SIM_OP_READ_CAPACITY = 0x25;
inline constexpr std::uint8_t SIM_OP_READ_SUB_CHANNEL = 0x42;
inline constexpr std::uint8_t SIM_OP_WRITE_BUFFER = 0x3B;
inline constexpr std::uint8_t SIM_OP_READ_BUFFER = 0x3C;

/// The only mode byte the bridge firmware accepts in READ BUFFER / WRITE BUFFER.
inline constexpr std::uint8_t SIM_BUFFER_MODE = 0x17;

// Buffer IDs (CDB byte 2).
inline constexpr std::uint8_t SIM_BUFFER_FINISH = 0x61;      ///< copier board: end of a write
inline constexpr std::uint8_t SIM_BUFFER_BOARD_READ = 0x62;  ///< copier board: read memory
inline constexpr std::uint8_t SIM_BUFFER_BOARD_WRITE = 0x64; ///< copier board: write memory
inline constexpr std::uint8_t SIM_BUFFER_PREPARE = 0x71;     ///< bridge: zero-length preamble
inline constexpr std::uint8_t SIM_BUFFER_PV20 = 0x76;        ///< bridge: PV20 firmware
inline constexpr std::uint8_t SIM_BUFFER_FIRMWARE = 0x78;    ///< bridge: firmware, read back
inline constexpr std::uint8_t SIM_BUFFER_SECTION_1 = 0x7C;   ///< bridge: first section
inline constexpr std::uint8_t SIM_BUFFER_SECTION_2 = 0x7D;   ///< bridge: second section

/// Size of each bridge buffer area, the upper 0x78 area included.
inline constexpr std::uint32_t SIM_BRIDGE_AREA_SIZE = 0x20000;
/// Offset at which buffer 0x78 addresses the upper area (CDB byte 3 = 0x08).
inline constexpr std::uint32_t SIM_BRIDGE_UPPER_BASE = 0x080000;
/// First address of the copier board's memory, and its size.
inline constexpr std::uint32_t SIM_BOARD_BASE = 0x100000;
inline constexpr std::uint32_t SIM_BOARD_SIZE = 0x100000;
/// What unwritten memory reads as (erased flash).
inline constexpr std::uint8_t SIM_ERASED_BYTE = 0xFF;

/// Which firmware memory a board keeps (see the file comment).
enum class SimBoardKind : std::uint8_t { bridge, copier };

/// What the catalogue knows about a bridge it built: the family code the recognition rules
/// should give, the model text, and the vital product data page that identifies it.
struct SimBridgeProfile {
    std::int32_t family_code = 0;
    std::string model_text;
    std::uint8_t identification_page = 0;  ///< 0: identified by the standard data only
};

class SimBridge : public SimDevice {
public:
    /// A board of the given kind answering inquiry_data as its standard INQUIRY data.
    explicit SimBridge(std::span<const std::uint8_t> inquiry_data,
                       SimBoardKind kind = SimBoardKind::bridge);

    SimBoardKind kind() const { return kind_; }
    const SimBridgeProfile& profile() const { return profile_; }
    /// Set while building the device, before it is attached anywhere (not locked).
    void set_profile(SimBridgeProfile profile) { profile_ = std::move(profile); }

    /// READ CAPACITY(10) answers last block address and block length (big-endian).
    void set_capacity(std::uint32_t last_block, std::uint32_t block_length);
    /// READ CAPACITY(10) answers CHECK CONDITION (no medium / not supported).
    void clear_capacity();

    // --- Firmware memory, for inspection -------------------------------------------------

    /// A copy of the area of buffer 0x76, 0x78, 0x7C or 0x7D (SIM_BRIDGE_AREA_SIZE bytes,
    /// index = offset); empty for any other ID and on a copier board.
    std::vector<std::uint8_t> memory(std::uint8_t buffer_id) const;
    /// The upper area of buffer 0x78 (index = offset - SIM_BRIDGE_UPPER_BASE); empty on a
    /// copier board.
    std::vector<std::uint8_t> upper_memory() const;
    /// The copier board's memory (index = address - SIM_BOARD_BASE); empty on a bridge.
    std::vector<std::uint8_t> board_memory() const;
    /// Puts bytes into an area as if a write had stored them (buffer_id 0x64 for the board,
    /// at an absolute address); false when they do not fit. Does not mark the area written.
    bool preload(std::uint8_t buffer_id, std::uint32_t offset, std::span<const std::uint8_t> bytes);

    /// Buffer IDs whose area a WRITE BUFFER ever stored into, ascending (0x64 for the board).
    std::vector<std::uint8_t> written_buffers() const;
    /// Whether a write ever stored into the upper 0x78 area.
    bool upper_written() const;
    /// Values of the finishing commands (WRITE BUFFER 0x61) the board completed, in order.
    std::vector<std::uint32_t> finish_values() const;

    // --- Faults beyond SimDevice's -------------------------------------------------------

    /// The next `count` READ BUFFER commands that complete with data, after `after` such
    /// commands have completed untouched, return their first byte inverted.
    void corrupt_reads(std::uint32_t count, std::uint32_t after = 0);
    /// Corrupted reads still to come (the `after` ones not counted).
    std::uint32_t corrupt_reads_pending() const;

protected:
    SimResult execute(const SimCommand& command) override;

private:
    struct Area {
        std::uint32_t base = 0;  ///< offset or address of the first byte
        std::vector<std::uint8_t> bytes;
        bool written = false;
    };
    struct Transfer {
        std::uint8_t buffer_id = 0;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };

    SimResult answer_read_capacity(const SimCommand& command) const;
    static SimResult answer_read_sub_channel(const SimCommand& command);
    SimResult answer_write_buffer(const SimCommand& command, const Transfer& transfer);
    SimResult answer_read_buffer(const SimCommand& command, const Transfer& transfer);
    /// The area a command with this buffer ID and offset addresses; null when none.
    Area* area_for(std::uint8_t buffer_id, std::uint32_t offset, bool writing);
    const Area* area_for(std::uint8_t buffer_id, std::uint32_t offset, bool writing) const;
    static bool fits(const Area& area, std::uint32_t offset, std::uint32_t length);

    const SimBoardKind kind_;
    SimBridgeProfile profile_;

    mutable ThreadLock state_mutex_{os_threads()};  ///< taken inside SimDevice's lock, never the other way
    std::optional<std::vector<std::uint8_t>> capacity_;
    Area firmware_76_;
    Area firmware_78_;
    Area upper_78_;
    Area section_7c_;
    Area section_7d_;
    Area board_;
    std::vector<std::uint32_t> finish_values_;
    std::uint32_t reads_before_corrupting_ = 0;
    std::uint32_t reads_to_corrupt_ = 0;
};

}  // namespace korvel
