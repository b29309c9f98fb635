// The cached font name and the foreground message box, with the platform's font source and the
// user interface simulated.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lib_font.h"
#include "lib_global.h"
#include "ui_seam.h"
#include "util_platform_seam.h"

namespace korvel {

namespace {

// A desktop font source that counts how often it is asked.
class CountingFonts final : public FontSource {
public:
    explicit CountingFonts(const char* font) : name(font) {}
    bool icon_font_name(char* out, std::size_t capacity) override {
        ++queries;
        if (std::strlen(name) >= capacity) return false;
        std::strcpy(out, name);
        return true;
    }
    const char* name;
    int queries = 0;
};

class FontTest : public ::testing::Test {
protected:
    void use_fonts(FontSource* fonts) {
        UtilPlatform platform;
        platform.fonts = fonts;
        install_util_platform(platform);
    }
    void SetUp() override { forget_default_font_name(); }
    void TearDown() override {
        install_util_platform(UtilPlatform{});
        forget_default_font_name();
    }
};

TEST_F(FontTest, PlatformIsAskedOnceAndItsAnswerKept) {
    CountingFonts tahoma("Tahoma");
    use_fonts(&tahoma);
    char first[FONT_NAME_SIZE];
    char second[FONT_NAME_SIZE];
    EXPECT_EQ(default_font_name(first, sizeof first), first);
    EXPECT_STREQ(first, "Tahoma");
    EXPECT_STREQ(default_font_name(second, sizeof second), "Tahoma");
    EXPECT_EQ(tahoma.queries, 1);

    // A font source installed later (the window's) is asked once the cache is dropped.
    CountingFonts toolkit("Noto Sans CJK TC");
    use_fonts(&toolkit);
    EXPECT_STREQ(default_font_name(first, sizeof first), "Tahoma");
    forget_default_font_name();
    EXPECT_STREQ(default_font_name(first, sizeof first), "Noto Sans CJK TC");
    EXPECT_EQ(toolkit.queries, 1);
}

// A user interface that logs what happens to it and answers with a scripted button.
class ScriptedUserInterface final : public UserInterface {
public:
    void bring_to_front() override { log.push_back("front"); }
    int message_box(const char* text, const char* caption, std::uint32_t flags) override {
        log.push_back(std::string("box ") + text + " | " + caption + " | " + std::to_string(flags));
        return answer;
    }
    void process_pending_messages() override {}
    std::vector<std::string> log;
    int answer = ID_OK;
};

TEST(ShowMessage, RestoresTheWindowFirstThenReturnsTheButton) {
    ScriptedUserInterface ui;
    install_user_interface(&ui);
    ui.answer = ID_YES;
    EXPECT_EQ(show_message("Are you sure to update firmware ?", "Question", 0x124), ID_YES);
    ui.answer = ID_NO;
    EXPECT_EQ(show_message("Update?", "Question", 0x124), ID_NO);
    ui.answer = ID_OK;
    EXPECT_EQ(show_message("韌體", "錯誤", 0x10), ID_OK);
    const std::vector<std::string> expected = {
        "front", "box Are you sure to update firmware ? | Question | 292",
        "front", "box Update? | Question | 292",
        "front", "box 韌體 | 錯誤 | 16"};
    EXPECT_EQ(ui.log, expected);
    install_user_interface(nullptr);
    EXPECT_EQ(show_message("nobody", "Error", 0x10), 0);
}

}  // namespace
}  // namespace korvel
