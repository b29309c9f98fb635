// korvel-update.com as a person at cmd.exe meets it: typed without its ending in a folder that
// also holds korvel-update.exe (a folder named in Chinese and Japanese), its output and exit
// code through cmd /c. Wine offers one host without devices; run as Windows 98, no adapter.
#include "windows_platform.h"

#include "korvel_msg.h"
#include "lib_getwnver.h"
#include "terminal_listing.h"
#include "win32_main_window.h"
#include "wine_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace korvel {
namespace {

struct Finished {
    DWORD code = STILL_ACTIVE;
    std::string out;
    std::string err;
};

HANDLE inheritable_file(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(wine::wide_from_utf8(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class WineConsoleProgram : public ::testing::Test {
protected:
    void SetUp() override {
        install_os_platform();
        detect_system_language();
        select_message_language();
        for (const char* program : {KORVEL_UPDATE_PROGRAM, KORVEL_UPDATE_CONSOLE}) {
            std::string built = std::string("Z:") + program;
            for (char& c : built) c = c == '/' ? '\\' : c;
            const std::string name = built.substr(built.find_last_of('\\') + 1);
            ASSERT_TRUE(wine::copy_file(built, folder_.file(name.c_str()))) << built;
        }
    }

    // "cmd /c ARGUMENTS" in the folder, its standard output and error into files of their own
    // (Wine's console host may hold the last run's a while longer), waited for.
    Finished cmd(const std::string& arguments) {
        const std::string run = std::to_string(++runs_);
        const std::string out_file = folder_.file(("out" + run + ".txt").c_str());
        const std::string err_file = folder_.file(("err" + run + ".txt").c_str());
        const HANDLE input = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
        const HANDLE out = inheritable_file(out_file, GENERIC_WRITE, CREATE_ALWAYS);
        const HANDLE err = inheritable_file(err_file, GENERIC_WRITE, CREATE_ALWAYS);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = out;
        startup.hStdError = err;
        std::wstring line = wine::wide_from_utf8("cmd.exe /c " + arguments);
        PROCESS_INFORMATION started{};
        Finished finished;
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, wine::wide_from_utf8(folder_.path()).c_str(), &startup,
                           &started)) {
            if (WaitForSingleObject(started.hProcess, 60000) == WAIT_OBJECT_0) {
                GetExitCodeProcess(started.hProcess, &finished.code);
            } else {
                TerminateProcess(started.hProcess, 2);
            }
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
        for (const HANDLE handle : {input, out, err}) CloseHandle(handle);
        finished.out = wine::read_file(out_file);
        finished.err = wine::read_file(err_file);
        return finished;
    }

    wine::TempFolder folder_;
    int runs_ = 0;
};

TEST_F(WineConsoleProgram, CmdTakesTheComForItsNameAndHasItsAnswersAndExitCodes) {
    const Finished version = cmd("korvel-update --version");
    EXPECT_EQ(version.code, 0u) << version.err;
    EXPECT_EQ(version.out, "korvel-update " + std::to_string(KORVEL_VERSION_MAJOR) + "." +
                               std::to_string(KORVEL_VERSION_MINOR) + "." +
                               std::to_string(KORVEL_VERSION_RELEASE) + "." +
                               std::to_string(KORVEL_VERSION_BUILD) + "\n");

    const Finished unknown = cmd("korvel-update --frobnicate");
    EXPECT_EQ(unknown.code, 2u);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err.rfind("korvel-update: unknown argument --frobnicate\n", 0), 0u)
        << unknown.err;

    // Wine's one host, without a bridge on it.
    const Finished list = cmd("korvel-update --list");
    EXPECT_EQ(list.code, 0u) << list.err;
    EXPECT_EQ(list.out, listing_text({}));
}

// As Windows 98 (prepare-wine.sh) it asks Wine's wnaspi32.dll, which knows no adapter: the
// window's box for that, on standard error, and exit code 3.
TEST_F(WineConsoleProgram, SaysTheServiceFailedAndEndsWithThreeWithoutAdapters) {
    ASSERT_TRUE(wine::copy_file(folder_.file("korvel-update.com"),
                                folder_.file("korvel-update-win98.com")));
    const Finished list = cmd("korvel-update-win98 --list --json");
    EXPECT_EQ(list.code, 3u);
    EXPECT_EQ(list.out, "");
    EXPECT_NE(list.err.find(message_text(MSG_ASPI_START_FAILED)), std::string::npos) << list.err;
}

// Without arguments it starts the window's program from its own folder and ends at once.
TEST_F(WineConsoleProgram, WithoutArgumentsStartsTheWindowAndEndsWithZero) {
    EXPECT_EQ(cmd("korvel-update").code, 0u);
    HWND window = nullptr;
    for (int tries = 0; tries < 2000 && window == nullptr; ++tries) {
        window = FindWindowW(MAIN_WINDOW_CLASS, nullptr);
        if (window == nullptr) Sleep(10);
    }
    ASSERT_NE(window, nullptr);
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
    ASSERT_NE(process, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, 20000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &code);
    } else {
        TerminateProcess(process, 2);
    }
    CloseHandle(process);
    EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace korvel
