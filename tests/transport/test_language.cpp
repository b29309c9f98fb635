// The system language as the Linux platform reports it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "lib_getwnver.h"
#include "linux_platform.h"

using namespace korvel;

namespace {

TEST(LocaleNames, MapToWindowsLanguageIds) {
    EXPECT_EQ(lcid_from_locale_name("zh_TW.UTF-8"), 0x0404u);
    EXPECT_EQ(lcid_from_locale_name("zh_CN.GB18030"), 0x0804u);
    EXPECT_EQ(lcid_from_locale_name("zh_HK"), 0x0C04u);
    EXPECT_EQ(lcid_from_locale_name("ja_JP.eucJP"), 0x0411u);
    EXPECT_EQ(lcid_from_locale_name("en_US.UTF-8"), 0x0409u);
    EXPECT_EQ(lcid_from_locale_name("de_DE@euro"), 0x0407u);
    EXPECT_EQ(lcid_from_locale_name("ja"), 0x0411u);
    EXPECT_EQ(lcid_from_locale_name("ja_XX"), 0x0411u);  // known language, odd territory
    for (const char* english : {"C", "POSIX", "C.UTF-8", "xx_YY", "", "a_very_long_locale_name_x"}) {
        EXPECT_EQ(lcid_from_locale_name(english), 0x0409u) << english;
    }
    EXPECT_EQ(lcid_from_locale_name(nullptr), 0x0409u);
}

class ProcessLocale : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
        install_os_platform();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(ProcessLocale, LcAllThenLcMessagesThenLang) {
    EXPECT_STREQ(process_locale_name(), "C");
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_STREQ(process_locale_name(), "ja_JP.UTF-8");
    setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    EXPECT_STREQ(process_locale_name(), "zh_TW.UTF-8");
    setenv("LC_ALL", "", 1);  // set but empty counts as unset
    EXPECT_STREQ(process_locale_name(), "zh_TW.UTF-8");
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_STREQ(process_locale_name(), "en_GB.UTF-8");
}

TEST_F(ProcessLocale, SetsPrimaryAndSubLanguage) {
    setenv("LANG", "zh_TW.UTF-8", 1);
    detect_system_language();
    EXPECT_EQ(system_language, 0x04);
    EXPECT_EQ(system_sublanguage, 0x01);

    setenv("LANG", "ja_JP.UTF-8", 1);
    detect_system_language();
    EXPECT_EQ(system_language, 0x11);
    EXPECT_EQ(system_sublanguage, 0x01);

    setenv("LANG", "zh_HK.UTF-8", 1);
    detect_system_language();
    EXPECT_EQ(system_language, 0x04);
    EXPECT_EQ(system_sublanguage, 0x03);

    unsetenv("LANG");
    detect_system_language();
    EXPECT_EQ(system_language, 0x09);
    EXPECT_EQ(system_sublanguage, 0x01);
}

}  // namespace
