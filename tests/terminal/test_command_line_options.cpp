// korvel-update's command line as read: every job with its options, and the mistakes a person
// or a script makes with them refused before anything is opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal_command_line.h"

namespace korvel {

namespace {

struct Read {
    bool ok = false;
    TerminalCommand command;
    std::string error;
};

Read read(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "korvel-update");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    Read result;
    result.ok = read_command_line(static_cast<int>(argv.size()), argv.data(), result.command,
                                  result.error);
    return result;
}

}  // namespace

TEST(CommandLineOptions, EachJobReadsItsFileTargetAndSwitches) {
    const Read update = read({"--update", "a b.bin", "--target", "7:15", "--yes"});
    ASSERT_TRUE(update.ok) << update.error;
    EXPECT_EQ(update.command.job, TerminalJob::update);
    EXPECT_EQ(update.command.file, "a b.bin");
    EXPECT_EQ(update.command.host, 7);
    EXPECT_EQ(update.command.target, 15);
    EXPECT_TRUE(update.command.yes);

    const Read check = read({"--target", "0:3", "--json", "--check", "./--yes"});
    ASSERT_TRUE(check.ok) << check.error;
    EXPECT_EQ(check.command.job, TerminalJob::check);
    EXPECT_EQ(check.command.file, "./--yes");
    EXPECT_TRUE(check.command.json);
    EXPECT_FALSE(check.command.yes);

    EXPECT_TRUE(read({"--list", "--json"}).ok);
    EXPECT_EQ(read({"--version"}).command.job, TerminalJob::version);
    EXPECT_EQ(read({"-h"}).command.job, TerminalJob::help);
}

TEST(CommandLineOptions, MistakesAreRefusedWithTheirReason) {
    const std::vector<std::pair<std::vector<std::string>, const char*>> mistakes = {
        {{"--update", "--yes", "--target", "0:3"}, "needs the firmware file"},
        {{"--update", "f.bin"}, "need --target"},
        {{"--check", "f.bin", "--target", "8:3"}, "HOST:ID"},
        {{"--check", "f.bin", "--target", "0:16"}, "HOST:ID"},
        {{"--check", "f.bin", "--target", "0:-1"}, "HOST:ID"},
        {{"--check", "f.bin", "--target", "03"}, "HOST:ID"},
        {{"--check", "f.bin", "--target", "0:3", "--target", "0:4"}, "twice"},
        {{"--list", "--target", "0:3"}, "--target goes with"},
        {{"--update", "f.bin", "--target", "0:3", "--json"}, "--json goes with"},
        {{"--check", "f.bin", "--target", "0:3", "--yes"}, "--yes goes with"},
        {{"--list", "--update", "f.bin"}, "no other command"},
        {{"--json"}, "no command"},
        {{"--lsit"}, "unknown argument --lsit"},
    };
    for (const auto& [arguments, reason] : mistakes) {
        const Read result = read(arguments);
        EXPECT_FALSE(result.ok) << arguments.front();
        EXPECT_NE(result.error.find(reason), std::string::npos)
            << arguments.front() << ": " << result.error;
    }
}

}  // namespace korvel
