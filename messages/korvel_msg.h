// The catalogue of user-visible texts in English, Traditional Chinese and Japanese, and the
// names of SCSI device types.
//
// The language is chosen from system_language and system_sublanguage (lib_getwnver): Chinese
// of Taiwan gives Traditional Chinese, Japanese gives Japanese, everything else English. Texts
// are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvel {

/// Message IDs.
inline constexpr int MSG_CAPTION_ERROR = 1;
inline constexpr int MSG_CAPTION_STOP = 2;
inline constexpr int MSG_CAPTION_INFORMATION = 3;
inline constexpr int MSG_CAPTION_QUESTION = 4;
inline constexpr int MSG_CAPTION_EXCLAMATION = 5;
inline constexpr int MSG_ASPI_START_FAILED = 6;
inline constexpr int MSG_HOST_CARD = 101;
inline constexpr int MSG_TARGET_DEVICE = 102;
inline constexpr int MSG_EXIT_BUTTON = 103;
inline constexpr int MSG_REBOOT_REMINDER = 104;
inline constexpr int MSG_CONFIRM_UPDATE = 105;
inline constexpr int MSG_UPDATE_BUTTON = 106;
inline constexpr int MSG_UPDATE_SUCCEEDED = 107;
inline constexpr int MSG_UPDATE_FAILED = 108;
inline constexpr int MSG_BAD_FIRMWARE = 109;
inline constexpr int MSG_WRONG_FIRMWARE_FILE = 110;
inline constexpr int MSG_BACKUP_SUCCEEDED = 111;
inline constexpr int MSG_BACKUP_FAILED = 112;
inline constexpr int MSG_BACKUP_OPEN_FAILED = 113;
inline constexpr int MSG_FIRMWARE_FILE_FILTER = 114;
inline constexpr int MSG_CAPACITY = 115;
inline constexpr int MSG_UNKNOWN = 116;
inline constexpr int MSG_MODEL = 117;
inline constexpr int MSG_YES = 118;
inline constexpr int MSG_NO = 119;

/// Slots of the message table: 25 messages and the sentinel that ends it.
inline constexpr int MESSAGE_SLOTS = 26;
/// ID of the sentinel slot, whose texts stand for every unknown ID.
inline constexpr int MESSAGE_SENTINEL_ID = -1;

/// Language columns of the tables.
inline constexpr int LANGUAGE_COLUMNS = 3;
inline constexpr int COLUMN_ENGLISH = 0;
inline constexpr int COLUMN_CHINESE = 1;
inline constexpr int COLUMN_JAPANESE = 2;

/// Language IDs that choose a column other than English.
inline constexpr std::int32_t LANG_CHINESE = 0x04;
inline constexpr std::int32_t SUBLANG_CHINESE_TRADITIONAL = 0x01;
inline constexpr std::int32_t LANG_JAPANESE = 0x11;

/// One slot of a message table: the ID and its text in each language column.
struct MessageEntry {
    int id;
    const char* text[LANGUAGE_COLUMNS];
};

/// What a catalogue settles on its first lookup: whether its order was checked, and the
/// language column (-1 until chosen).
struct CatalogueState {
    bool order_checked = false;
    int column = -1;
};

/// The column for a primary language and sublanguage ID.
int language_column(std::int32_t language, std::int32_t sublanguage);

/// The text of a message in the run's language; the sentinel's "?????" for an unknown ID.
/// The first call checks the table's order and chooses the language. The text lives for the
/// whole run.
const char* message_text(int id);

/// Chooses the language column again from system_language and system_sublanguage, for the
/// texts that message_text returns from now on.
void select_message_language();

/// The program's message table, in slot order.
std::span<const MessageEntry> message_table();

/// The first slot whose ID is not greater than every ID before it, walking up to the sentinel;
/// -1 when the table is in order.
int first_unordered_slot(std::span<const MessageEntry> table);

/// The slot holding id, found by bisection over the whole table; the last slot (the sentinel)
/// when the bisection does not meet it.
int find_message_slot(std::span<const MessageEntry> table, int id);

/// message_text over any table with its own first-call state. On the first call it checks the
/// order and, when a slot is out of order, shows "Error MessageID = <id>" with the caption
/// "Error" and the stop icon directly through the user interface; then it chooses the column.
const char* catalogue_text(std::span<const MessageEntry> table, CatalogueState& state, int id);

/// Room for the longest device type name with its terminating zero.
inline constexpr std::size_t DEVICE_TYPE_NAME_SIZE = 32;
/// A qualifier that matches every qualifier.
inline constexpr int ANY_QUALIFIER = 255;

/// Copies the name of a SCSI device type in the current system language into buffer (at most
/// size bytes with the terminating zero, cut between characters) and returns buffer. A type
/// with entries per qualifier (4: CD-R / CD-RW) is told apart by qualifier; unknown types give
/// "Unknown".
const char* device_type_name(int type, int qualifier, char* buffer, std::size_t size);

}  // namespace korvel
