#include "korvel_hint.h"

#include <cstdio>

#include "korvel_msg.h"

namespace korvel {

namespace {

constexpr std::uint32_t FLOPPY_BLOCKS = 2880;
constexpr std::uint32_t FLOPPY_BLOCK_LENGTH = 512;
constexpr double MEGABYTES_PER_GIGABYTE = 1024.0;

// Appends a text a device reported. Such texts are printable ASCII by the standard; any other
// byte shows as '?' so that a misbehaving device cannot put broken characters on the screen.
void append_reported(std::string& hint, const char* text) {
    if (text == nullptr) return;
    for (const char* at = text; *at != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        hint += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    }
}

}  // namespace

bool type_has_capacity(int type) { return type == 0 || type == 5 || type == 7; }

double capacity_megabytes(std::uint32_t block_count, std::uint32_t block_length) {
    // A block length of 2^31 or more is no length a device means: it reads as negative in
    // the signed field the standard's drivers keep it in, so the capacity is unknown.
    if (block_count == 0 || block_length == 0 || block_length > 0x7FFFFFFFu) return 0.0;
    return static_cast<double>(block_count) * static_cast<double>(block_length) / 1024.0 /
           1024.0;
}

std::string capacity_text(std::uint32_t block_count, std::uint32_t block_length) {
    const double megabytes = capacity_megabytes(block_count, block_length);
    if (megabytes <= 0.0) return message_text(MSG_UNKNOWN);
    if (block_count == FLOPPY_BLOCKS && block_length == FLOPPY_BLOCK_LENGTH) return "1.44MB";
    char text[48];
    if (megabytes >= MEGABYTES_PER_GIGABYTE) {
        std::snprintf(text, sizeof text, "%.1fGB", megabytes / MEGABYTES_PER_GIGABYTE);
    } else {
        // Below 1024 MB the value fits an int; it is cut toward zero, never rounded up.
        std::snprintf(text, sizeof text, "%dMB", static_cast<int>(megabytes));
    }
    return text;
}

std::string device_hint(const DeviceFacts& facts) {
    std::string hint = "Host:" + std::to_string(facts.host) + "  ID:" +
                       std::to_string(facts.target) + "  Lun:" + std::to_string(facts.lun);
    hint += "\n";
    append_reported(hint, facts.vendor);
    hint += " ";
    append_reported(hint, facts.product);
    hint += " ";
    append_reported(hint, facts.revision);
    if (type_has_capacity(facts.type)) {
        hint += "\n";
        hint += message_text(MSG_CAPACITY);
        hint += ":[" + capacity_text(facts.block_count, facts.block_length) + "]";
    }
    hint += "\n\nKORVEL ";
    hint += message_text(MSG_MODEL);
    hint += ":[";
    append_reported(hint, facts.bridge_ident);
    hint += "]";
    if (facts.speed >= 0) {
        hint += "\nWide SCSI:[";
        hint += message_text(facts.wide == 1 ? MSG_YES : MSG_NO);
        hint += "]";
        if (facts.speed == 0) {
            hint += "\nSCSI Speed:[Async mode]";
        } else {
            hint += "\nSCSI Speed:[" + std::to_string(facts.speed) + " MB/Sec]";
        }
    }
    return hint;
}

}  // namespace korvel
