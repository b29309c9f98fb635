// What every firmware family module shares: the check results, the identification block of
// an image, the byte checksum, reading the firmware file into a static buffer, the update
// sequence around the check and the write (messages and confirmation), the LSI write preamble
// and the write-and-verify loop.
//
// Nothing here allocates, throws or keeps state: every buffer belongs to the calling module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvel {

/// Results of a family's image check.
inline constexpr int CHECK_OK = 0;          ///< sound and meant for this bridge
inline constexpr int CHECK_BAD_IMAGE = -1;  ///< damaged: format mark, fixed bytes or checksum
inline constexpr int CHECK_WRONG_FILE = -2; ///< not firmware for this bridge

/// Results of a family's write.
inline constexpr int WRITE_OK = 0;
inline constexpr int WRITE_FAILED = -1;

/// Byte 0 of a bridge image.
inline constexpr std::uint8_t FORMAT_MARK = 0x02;
/// Where a bridge image keeps its copy of the model text: offset = 48 + model-text position.
inline constexpr std::size_t IDENTIFICATION_AT = 48;
/// The value the byte checksum of a sound image comes to ("Z").
inline constexpr std::uint8_t CHECKSUM_VALUE = 0x5A;
/// Attempts of the write-and-verify loop.
inline constexpr int WRITE_ATTEMPTS = 3;

/// A device address as the command library takes it.
struct DeviceAddress {
    std::uint8_t host = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
};

/// The byte at a position of a zero-terminated model text; 0 at or beyond its end, and 0 for
/// a null text. Never reads past the terminating zero.
std::uint8_t model_char(const char* model, std::size_t position);

/// The byte at an offset of an image; 0 beyond its end, as for the zeros a short file leaves.
std::uint8_t image_byte(std::span<const std::uint8_t> image, std::size_t offset);

/// Whether count image bytes from offset equal text's first count characters, without regard
/// to letter case. Exactly count bytes are compared; a zero byte does not end the comparison.
bool image_text_is(std::span<const std::uint8_t> image, std::size_t offset, const char* text,
                   std::size_t count);

/// Whether count image bytes from offset equal the model text from position, without regard
/// to letter case (model positions past its end read as 0).
bool image_matches_model(std::span<const std::uint8_t> image, std::size_t offset,
                         const char* model, std::size_t position, std::size_t count);

/// Whether count bytes of two buffers are equal without regard to letter case.
bool bytes_same_ignoring_case(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);

/// One character compared without regard to letter case.
bool same_letter_ignoring_case(std::uint8_t a, std::uint8_t b);

/// The 8-bit wrapping sum of the first span_length bytes of the image (bytes beyond its end
/// count as 0).
std::uint8_t byte_sum(std::span<const std::uint8_t> image, std::size_t span_length);

/// Whether the byte checksum over the first span_length bytes comes to CHECKSUM_VALUE.
bool checksum_passes(std::span<const std::uint8_t> image, std::size_t span_length);

/// Fills buffer with zeros, then reads from the file's start up to buffer.size() bytes into
/// it. Returns the count read; a file that cannot be read (bad handle, seek or read error)
/// leaves the buffer all zero and gives 0. The file stays open.
std::size_t read_image_from_start(int file, std::span<std::uint8_t> buffer);

/// Fills buffer with zeros, then reads up to buffer.size() bytes at the file's position.
/// Returns the count read; on a read error the buffer is all zero again and 0 is returned.
std::size_t read_image_here(int file, std::span<std::uint8_t> buffer);

/// The check result for an image of image_size bytes that was read from a file delivering
/// read_count of them: a file the checks accepted but that is shorter than the image is
/// damaged, whatever its checksum says, since its missing end would be written as zeros.
/// Any other result stays as the checks gave it, so a rejection keeps its own message.
int refuse_short_file(int check_result, std::size_t read_count, std::size_t image_size);

/// Whether a module should go on with the update after its check: shows message 110 or 109
/// (caption 1, stop icon) for a rejection and returns false; otherwise asks message 105
/// (caption 4, Yes/No with No the default) and returns true only for Yes, which opens the
/// write span (korvel_write_span.h). When process_messages is set and the answer was Yes, lets
/// the window repaint once.
bool confirm_update(int check_result, bool process_messages);

/// Shows the outcome of a write: message 107 (caption 3, information icon) for WRITE_OK,
/// message 108 (caption 1, stop icon) for anything else.
void report_write_result(int write_result);

/// Sends the two empty WRITE BUFFER 0x71 commands that LSI host adapters need before a
/// firmware write, when lsi_adapter() is set. Their results are ignored.
void lsi_write_preamble(const DeviceAddress& device);

/// A firmware write or read command of the command library (offset, length, data).
using WriteCommand = int (*)(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                             std::uint32_t offset, std::uint32_t length,
                             const std::uint8_t* buffer);
using ReadCommand = int (*)(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                            std::uint32_t offset, std::uint32_t length, std::uint8_t* buffer);

/// Writes the whole image at offset 0 in one command and reads it back into readback, up to
/// WRITE_ATTEMPTS times, stopping at the first attempt whose write and read both completed
/// with equal data. WRITE_OK then, else WRITE_FAILED (also when readback is smaller than the
/// image or the image does not fit the commands' 16-bit length field).
/// Reports each write as writing, each read-back as verifying, of piece of pieces.
int write_and_verify(const DeviceAddress& device, WriteCommand write, ReadCommand read,
                     std::span<const std::uint8_t> image, std::span<std::uint8_t> readback,
                     int piece = 1, int pieces = 1);

/// The largest length the 16-bit form of the buffer commands can carry.
inline constexpr std::size_t SHORT_FORM_MAX_LENGTH = 0xFFFF;

}  // namespace korvel
