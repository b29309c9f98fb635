#include "korvel_msg.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "lib_getwnver.h"
#include "text_copy.h"
#include "ui_seam.h"

namespace korvel {

namespace {

// The texts are UTF-8 literals; a compiler reading or storing them in another code page would
// garble every Chinese and Japanese text (MSVC needs /utf-8).
static_assert(std::string_view("錯") == "\xE9\x8C\xAF", "texts must be compiled as UTF-8");

// Sorted by strictly ascending ID; the sentinel in the last slot answers every unknown ID.
constexpr MessageEntry message_slots[MESSAGE_SLOTS] = {
    {MSG_CAPTION_ERROR, {"Error", "錯誤", "エラー"}},
    {MSG_CAPTION_STOP, {"Stop", "停止", "ストップ"}},
    {MSG_CAPTION_INFORMATION, {"Information", "訊息", "メッセージ"}},
    {MSG_CAPTION_QUESTION, {"Question", "詢問", "質問"}},
    {MSG_CAPTION_EXCLAMATION, {"Exclamation", "要求", "要求"}},
    {MSG_ASPI_START_FAILED,
     {"System error !\n\nASPI driver initial fail !\n\nProgram abort !",
      "系統錯誤！\n\nASPI 驅動程式啟動失敗！\n\n程式停止執行！",
      "システムエラー！\n\nASPI 起動エラー！\n\n作業中止！"}},
    {MSG_HOST_CARD, {"Host Card", "介面卡", "ホスト カード"}},
    {MSG_TARGET_DEVICE, {"Target Device", "裝置", "書き込みディバイス"}},
    {MSG_EXIT_BUTTON, {"E&xit", "[&X]離開", "[&X]終了"}},
    {MSG_REBOOT_REMINDER,
     {"The KORVEL firmware has been updated.\n\nYou must re-boot the system to activate it !",
      "KORVEL 韌體已更新完成！\n\n您必需重新啟動系統才能正常運作！",
      "KORVEL ファームウェアが既に更新されました.\n\nシステムを再起動してから稼動できます!"}},
    {MSG_CONFIRM_UPDATE,
     {"Are you sure to update firmware ?",
      "請問您確定要更新此韌體嗎？",
      "ファームウェアが更新されますか?"}},
    {MSG_UPDATE_BUTTON,
     {"&Update KORVEL Firmware",
      "[&U]更新 KORVEL 韌體",
      "[&U]KORVEL ファームウェア更新"}},
    {MSG_UPDATE_SUCCEEDED,
     {"Update KORVEL firmware successfully !",
      "KORVEL 韌體已更新完成！",
      "KORVEL ファームウェア更新完成!"}},
    {MSG_UPDATE_FAILED,
     {"Update KORVEL firmware failed !",
      "KORVEL 韌體更新失敗！",
      "KORVEL ファームウェア更新失敗!"}},
    {MSG_BAD_FIRMWARE,
     {"The KORVEL firmware is bad.\n\nUpdate aborted !",
      "此 KORVEL 韌體已經毀損！\n\n更新作業取消！",
      "KORVEL ファームウェアが損壊です.\n\n更新のことがキャンセルされます!"}},
    {MSG_WRONG_FIRMWARE_FILE,
     {"This file is not a correct KORVEL firmware.\n\nUpdate aborted !",
      "此檔案不是正確的 KORVEL 韌體！\n\n更新作業取消！",
      "適当な KORVEL ファームウェアではないです.\n\n更新失敗!"}},
    {MSG_BACKUP_SUCCEEDED,
     {"Backup KORVEL firmware successfully !",
      "KORVEL 韌體備份已完成！",
      "KORVEL ファームウェアがバックアップ成功!"}},
    {MSG_BACKUP_FAILED,
     {"Backup KORVEL firmware failed !",
      "KORVEL 韌體備份失敗！",
      "KORVEL ファームウェアがバックアップ失敗!"}},
    {MSG_BACKUP_OPEN_FAILED,
     {"Open backup file failed !",
      "備份檔案開啟失敗！",
      "バックアップのファイルを開けません!"}},
    {MSG_FIRMWARE_FILE_FILTER,
     {"KORVEL firmware file(*.bin)|*.bin",
      "KORVEL 韌體檔(*.bin)|*.bin",
      "KORVEL ファームウェア(*.bin)|*.bin"}},
    {MSG_CAPACITY, {"Capacity", "容量", "容量"}},
    {MSG_UNKNOWN, {"Unknown", "未知", "未知"}},
    {MSG_MODEL, {"Model", "型號", "モデル"}},
    {MSG_YES, {"Yes", "是", "はい"}},
    {MSG_NO, {"No", "否", "いいえ"}},
    {MESSAGE_SENTINEL_ID, {"?????", "?????", "?????"}},
};

// One entry of a device type table: the type, the qualifier it applies to (ANY_QUALIFIER for
// all) and the name.
struct DeviceTypeEntry {
    int type;
    int qualifier;
    const char* name;
};

// The type that ends each table; its entry names every type not listed before it.
constexpr int END_OF_DEVICE_TYPES = 255;
constexpr int DEVICE_TYPE_ENTRIES = 13;

// One table per language column. A lookup takes the first matching entry, so an entry for a
// single qualifier must come before the ANY_QUALIFIER entry of the same type.
constexpr DeviceTypeEntry device_types[LANGUAGE_COLUMNS][DEVICE_TYPE_ENTRIES] = {
    {
        {0, ANY_QUALIFIER, "Hard Disk"},
        {1, ANY_QUALIFIER, "Tape"},
        {2, ANY_QUALIFIER, "Printer"},
        {3, ANY_QUALIFIER, "Processor"},
        {4, 1, "CD-R"},
        {4, 2, "CD-RW"},
        {4, ANY_QUALIFIER, "CD-R"},
        {5, ANY_QUALIFIER, "CDROM"},
        {6, ANY_QUALIFIER, "Scanner"},
        {7, ANY_QUALIFIER, "Optical Disk"},
        {8, ANY_QUALIFIER, "Medium Changer"},
        {9, ANY_QUALIFIER, "Communication"},
        {END_OF_DEVICE_TYPES, ANY_QUALIFIER, "Unknown"},
    },
    {
        {0, ANY_QUALIFIER, "硬碟"},
        {1, ANY_QUALIFIER, "磁帶"},
        {2, ANY_QUALIFIER, "印表機"},
        {3, ANY_QUALIFIER, "處理器"},
        {4, 1, "光碟燒錄器"},
        {4, 2, "可抹寫光碟機"},
        {4, ANY_QUALIFIER, "光碟燒錄器"},
        {5, ANY_QUALIFIER, "光碟機"},
        {6, ANY_QUALIFIER, "掃描器"},
        {7, ANY_QUALIFIER, "抽換式硬碟"},
        {8, ANY_QUALIFIER, "多片式光碟機"},
        {9, ANY_QUALIFIER, "通訊機"},
        {END_OF_DEVICE_TYPES, ANY_QUALIFIER, "未知"},
    },
    {
        {0, ANY_QUALIFIER, "ディスク"},
        {1, ANY_QUALIFIER, "テープ"},
        {2, ANY_QUALIFIER, "プリンタ"},
        {3, ANY_QUALIFIER, "プロセッサ"},
        {4, 1, "CD-R"},
        {4, 2, "CD-RW"},
        {4, ANY_QUALIFIER, "CD-R"},
        {5, ANY_QUALIFIER, "CD-ROM"},
        {6, ANY_QUALIFIER, "スキャナ"},
        {7, ANY_QUALIFIER, "Optical Disk"},
        {8, ANY_QUALIFIER, "Medium Changer"},
        {9, ANY_QUALIFIER, "通信"},
        {END_OF_DEVICE_TYPES, ANY_QUALIFIER, "未知"},
    },
};

// Every table ends with its end entry, and every name fits the caller's buffer.
constexpr bool device_type_tables_are_sound() {
    for (const auto& table : device_types) {
        if (table[DEVICE_TYPE_ENTRIES - 1].type != END_OF_DEVICE_TYPES) return false;
        for (const DeviceTypeEntry& entry : table) {
            if (std::char_traits<char>::length(entry.name) >= DEVICE_TYPE_NAME_SIZE) return false;
        }
    }
    return true;
}
static_assert(device_type_tables_are_sound(), "device type tables: end entry or name length");

static_assert(message_slots[MESSAGE_SLOTS - 1].id == MESSAGE_SENTINEL_ID,
              "the last message slot must be the sentinel");

// The program's catalogue, settled on the first message_text call.
CatalogueState the_catalogue;

// Shows the order-check failure as a plain application message box, without bringing the
// window forward: it may come before the window exists.
void report_unordered_slot(int id) {
    UserInterface* ui = installed_user_interface();
    if (ui == nullptr) return;
    char text[48];
    std::snprintf(text, sizeof text, "Error MessageID = %d", id);
    ui->message_box(text, "Error", MB_ICON_STOP_OK);
}

}  // namespace

int language_column(std::int32_t language, std::int32_t sublanguage) {
    if (language == LANG_CHINESE && sublanguage == SUBLANG_CHINESE_TRADITIONAL) {
        return COLUMN_CHINESE;
    }
    if (language == LANG_JAPANESE) return COLUMN_JAPANESE;
    return COLUMN_ENGLISH;
}

int first_unordered_slot(std::span<const MessageEntry> table) {
    int highest = 0;
    for (std::size_t slot = 0; slot < table.size(); ++slot) {
        const int id = table[slot].id;
        if (id == MESSAGE_SENTINEL_ID) break;
        // An ID above the highest earlier one is above every earlier one.
        if (slot > 0 && id <= highest) return static_cast<int>(slot);
        highest = id;
    }
    return -1;
}

int find_message_slot(std::span<const MessageEntry> table, int id) {
    const int last = static_cast<int>(table.size()) - 1;
    int low = 0;
    int high = last;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const int middle_id = table[static_cast<std::size_t>(middle)].id;
        if (middle_id == id) return middle;
        if (middle_id < id) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return last;
}

const char* catalogue_text(std::span<const MessageEntry> table, CatalogueState& state, int id) {
    if (!state.order_checked) {
        state.order_checked = true;
        const int slot = first_unordered_slot(table);
        if (slot >= 0) report_unordered_slot(table[static_cast<std::size_t>(slot)].id);
    }
    if (state.column < 0 || state.column >= LANGUAGE_COLUMNS) {
        state.column = language_column(system_language, system_sublanguage);
    }
    if (table.empty()) return "?????";
    const int slot = find_message_slot(table, id);
    return table[static_cast<std::size_t>(slot)].text[state.column];
}

const char* message_text(int id) { return catalogue_text(message_slots, the_catalogue, id); }

void select_message_language() {
    the_catalogue.column = language_column(system_language, system_sublanguage);
}

std::span<const MessageEntry> message_table() { return message_slots; }

const char* device_type_name(int type, int qualifier, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return buffer;
    const auto& table = device_types[language_column(system_language, system_sublanguage)];
    const DeviceTypeEntry* found = &table[DEVICE_TYPE_ENTRIES - 1];
    for (const DeviceTypeEntry& entry : table) {
        if (entry.type == END_OF_DEVICE_TYPES ||
            (entry.type == type &&
             (entry.qualifier == ANY_QUALIFIER || entry.qualifier == qualifier))) {
            found = &entry;
            break;
        }
    }
    copy_utf8_text(buffer, size, found->name);
    return buffer;
}

}  // namespace korvel
