// korvel-update.com as cmd.exe runs it: "korvel-update" typed without its ending in a folder
// (named in Chinese and Japanese) that also holds korvel-update.exe. Wine offers one host
// without devices; as Windows 98 (prepare-wine.sh), no adapter.
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

class WineConsoleProgram : public ::testing::Test {
protected:
    void SetUp() override {
        install_os_platform();
        detect_system_language();
        select_message_language();
        for (std::string built : {KORVEL_UPDATE_PROGRAM, KORVEL_UPDATE_CONSOLE}) {
            for (char& c : built) c = c == '/' ? '\\' : c;
            const std::string name = built.substr(built.find_last_of('\\') + 1);
            ASSERT_TRUE(wine::copy_file("Z:" + built, folder_.file(name.c_str())));
        }
    }

    // "cmd /c LINE" in the folder, its output and error into files of their own (Wine's console
    // host may hold the last run's a while), waited for.
    Finished cmd(const std::string& line) {
        const std::string name = folder_.file(std::to_string(++runs_).c_str());
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const auto create = [&](const std::string& path) {
            return CreateFileW(wine::wide_from_utf8(path).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0,
                               nullptr);
        };
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = create(name + ".out");
        startup.hStdError = create(name + ".err");
        std::wstring command = wine::wide_from_utf8("cmd.exe /c " + line);
        PROCESS_INFORMATION started{};
        DWORD code = STILL_ACTIVE;
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, wine::wide_from_utf8(folder_.path()).c_str(), &startup,
                           &started)) {
            WaitForSingleObject(started.hProcess, 60000);
            GetExitCodeProcess(started.hProcess, &code);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
        CloseHandle(startup.hStdOutput);
        CloseHandle(startup.hStdError);
        return {code, wine::read_file(name + ".out"), wine::read_file(name + ".err")};
    }

    wine::TempFolder folder_;
    int runs_ = 0;
};

TEST_F(WineConsoleProgram, CmdRunsTheComForTheNameAndReportsItsAnswersAndExitCodes) {
    const Finished version = cmd("korvel-update --version");
    EXPECT_EQ(version.code, 0u) << version.err;
    EXPECT_EQ(version.out, "korvel-update " KORVEL_VERSION_TEXT "\n");
    const Finished unknown = cmd("korvel-update --frobnicate");
    EXPECT_EQ(unknown.code, 2u);
    EXPECT_EQ(unknown.err.rfind("korvel-update: unknown argument --frobnicate\n", 0), 0u)
        << unknown.err;
    const Finished list = cmd("korvel-update --list");
    EXPECT_EQ(list.code, 0u) << list.err;
    EXPECT_EQ(list.out, listing_text({}));
    ASSERT_TRUE(wine::copy_file(folder_.file("korvel-update.com"),
                                folder_.file("korvel-update-win98.com")));
    const Finished no_adapter = cmd("korvel-update-win98 --list --json");
    EXPECT_EQ(no_adapter.code, 3u);
    EXPECT_EQ(no_adapter.out, "");
    EXPECT_NE(no_adapter.err.find(message_text(MSG_ASPI_START_FAILED)), std::string::npos)
        << no_adapter.err;
}

TEST_F(WineConsoleProgram, WithoutArgumentsStartsTheWindowAndEndsWithZero) {
    EXPECT_EQ(cmd("korvel-update").code, 0u);
    // The program's own window, by the mark it sets: korvel-sim.exe windows of other tests
    // share its class.
    HWND window = nullptr;
    for (int tries = 0; tries < 2000 && !(window = Win32MainWindow::find_running_copy());
         ++tries) {
        Sleep(10);
    }
    ASSERT_NE(window, nullptr);
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id);
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, 20000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &code);
    } else {
        // Never left behind: a running copy would hold the one-copy name for later tests.
        TerminateProcess(process, 1);
    }
    CloseHandle(process);
    EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace korvel
