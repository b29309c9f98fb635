// The message catalogue: lookups per language, unknown IDs, the order check and the device
// type names, with the user interface simulated.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "korvel_msg.h"
#include "lib_getwnver.h"
#include "ui_seam.h"

namespace korvel {
namespace {

struct ShownBox {
    std::string text;
    std::string caption;
    std::uint32_t flags;
};

class RecordingUserInterface final : public UserInterface {
public:
    void bring_to_front() override { ++fronts; }
    int message_box(const char* text, const char* caption, std::uint32_t flags) override {
        boxes.push_back({text, caption, flags});
        return ID_OK;
    }
    void process_pending_messages() override {}
    int fronts = 0;
    std::vector<ShownBox> boxes;
};

class MessageCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { install_user_interface(&ui); }
    void TearDown() override {
        install_user_interface(nullptr);
        use_language(0x09, 0x01);
    }
    static void use_language(std::int32_t language, std::int32_t sublanguage) {
        system_language = language;
        system_sublanguage = sublanguage;
        select_message_language();
    }
    RecordingUserInterface ui;
};

struct LocaleCase {
    std::int32_t language;
    std::int32_t sublanguage;
    int column;
};

// Only Chinese of Taiwan selects Chinese; Japanese does with any sublanguage.
constexpr LocaleCase locale_cases[] = {
    {0x04, 0x01, COLUMN_CHINESE},  {0x04, 0x02, COLUMN_ENGLISH}, {0x04, 0x03, COLUMN_ENGLISH},
    {0x11, 0x01, COLUMN_JAPANESE}, {0x11, 0x00, COLUMN_JAPANESE}, {0x09, 0x01, COLUMN_ENGLISH},
    {0x12, 0x01, COLUMN_ENGLISH},  {0x00, 0x01, COLUMN_ENGLISH},
};

TEST_F(MessageCatalogueTest, LocaleChoosesTheLanguageOfEveryText) {
    const char* const errors[] = {"Error", "錯誤", "エラー"};
    const char* const exits[] = {"E&xit", "[&X]離開", "[&X]終了"};
    const char* const no_texts[] = {"No", "否", "いいえ"};
    const char* const start_failures[] = {
        "System error !\n\nASPI driver initial fail !\n\nProgram abort !",
        "系統錯誤！\n\nASPI 驅動程式啟動失敗！\n\n程式停止執行！",
        "システムエラー！\n\nASPI 起動エラー！\n\n作業中止！"};
    for (const LocaleCase& locale : locale_cases) {
        SCOPED_TRACE(testing::Message() << "language " << locale.language << "/"
                                        << locale.sublanguage);
        use_language(locale.language, locale.sublanguage);
        EXPECT_STREQ(message_text(1), errors[locale.column]);
        EXPECT_STREQ(message_text(6), start_failures[locale.column]);
        EXPECT_STREQ(message_text(103), exits[locale.column]);
        EXPECT_STREQ(message_text(119), no_texts[locale.column]);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MessageCatalogueTest, UnknownIdsGiveTheSentinelInEveryLanguage) {
    for (const LocaleCase& locale : locale_cases) {
        use_language(locale.language, locale.sublanguage);
        for (int id : {0, 7, 100, 120, -1, -2, INT_MIN, INT_MAX}) {
            EXPECT_STREQ(message_text(id), "?????") << "id " << id;
        }
    }
}

TEST_F(MessageCatalogueTest, TheProgramTableIsOrderedAndEverySlotIsFound) {
    const std::span<const MessageEntry> table = message_table();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(MESSAGE_SLOTS));
    EXPECT_EQ(first_unordered_slot(table), -1);
    EXPECT_EQ(table.back().id, MESSAGE_SENTINEL_ID);
    for (std::size_t slot = 0; slot + 1 < table.size(); ++slot) {
        EXPECT_EQ(find_message_slot(table, table[slot].id), static_cast<int>(slot));
    }
    CatalogueState fresh;
    EXPECT_STREQ(catalogue_text(table, fresh, 105), "Are you sure to update firmware ?");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MessageCatalogueTest, LanguageIsFixedByTheFirstLookup) {
    use_language(0x09, 0x01);
    CatalogueState state;
    EXPECT_STREQ(catalogue_text(message_table(), state, 118), "Yes");
    system_language = 0x11;
    EXPECT_STREQ(catalogue_text(message_table(), state, 118), "Yes");
    select_message_language();
    EXPECT_STREQ(message_text(118), "はい");
}

constexpr MessageEntry unordered_table[] = {
    {1, {"one", "one", "one"}},       {5, {"five", "five", "five"}},
    {3, {"three", "three", "three"}}, {7, {"seven", "seven", "seven"}},
    {9, {"nine", "nine", "nine"}},    {MESSAGE_SENTINEL_ID, {"?", "?", "?"}},
};

TEST_F(MessageCatalogueTest, OrderCheckReportsTheFirstMisplacedIdOnceAndLookupsGoOn) {
    EXPECT_EQ(first_unordered_slot(unordered_table), 2);
    CatalogueState state;
    EXPECT_STREQ(catalogue_text(unordered_table, state, 7), "seven");
    EXPECT_STREQ(catalogue_text(unordered_table, state, 9), "nine");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error MessageID = 3");
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].flags, 0x10u);
    EXPECT_EQ(ui.fronts, 0);
    // The bisection passes by a misplaced ID.
    EXPECT_STREQ(catalogue_text(unordered_table, state, 5), "?");

    const MessageEntry repeated[] = {{2, {"a", "a", "a"}}, {4, {"b", "b", "b"}},
                                     {4, {"c", "c", "c"}}, {MESSAGE_SENTINEL_ID, {"?", "?", "?"}}};
    EXPECT_EQ(first_unordered_slot(repeated), 2);
}

TEST_F(MessageCatalogueTest, DeviceTypeNamesFollowTypeQualifierAndLanguage) {
    struct Case {
        int type;
        int qualifier;
        const char* names[LANGUAGE_COLUMNS];
    };
    const Case cases[] = {
        {0, 0, {"Hard Disk", "硬碟", "ディスク"}},    {4, 1, {"CD-R", "光碟燒錄器", "CD-R"}},
        {4, 2, {"CD-RW", "可抹寫光碟機", "CD-RW"}},   {4, 0, {"CD-R", "光碟燒錄器", "CD-R"}},
        {4, 7, {"CD-R", "光碟燒錄器", "CD-R"}},       {5, 2, {"CDROM", "光碟機", "CD-ROM"}},
        {7, 0, {"Optical Disk", "抽換式硬碟", "Optical Disk"}},
        {9, 0, {"Communication", "通訊機", "通信"}},  {10, 0, {"Unknown", "未知", "未知"}},
        {31, 0, {"Unknown", "未知", "未知"}},         {-1, 255, {"Unknown", "未知", "未知"}},
    };
    const LocaleCase locales[] = {{0x09, 1, COLUMN_ENGLISH}, {0x04, 1, COLUMN_CHINESE},
                                  {0x11, 1, COLUMN_JAPANESE}};
    for (const LocaleCase& locale : locales) {
        // Chosen on every call: no select_message_language here.
        system_language = locale.language;
        system_sublanguage = locale.sublanguage;
        for (const Case& c : cases) {
            char name[DEVICE_TYPE_NAME_SIZE];
            EXPECT_STREQ(device_type_name(c.type, c.qualifier, name, sizeof name),
                         c.names[locale.column])
                << "type " << c.type << "/" << c.qualifier << " column " << locale.column;
        }
    }
}

TEST_F(MessageCatalogueTest, DeviceTypeNamesStayInsideSmallBuffers) {
    char name[8];
    std::memset(name, 'x', sizeof name);
    EXPECT_STREQ(device_type_name(0, 0, name, 4), "Har");
    EXPECT_EQ(name[4], 'x');
    EXPECT_STREQ(device_type_name(0, 0, name, 1), "");
    system_language = 0x04;
    system_sublanguage = 0x01;
    // A Chinese character takes three bytes and is never cut in half.
    EXPECT_STREQ(device_type_name(0, 0, name, 6), "硬");
    EXPECT_STREQ(device_type_name(0, 0, name, 3), "");
    EXPECT_STREQ(device_type_name(0, 0, name, 7), "硬碟");
    name[0] = 'x';
    EXPECT_EQ(device_type_name(0, 0, name, 0), name);
    EXPECT_EQ(name[0], 'x');
}

}  // namespace
}  // namespace korvel
