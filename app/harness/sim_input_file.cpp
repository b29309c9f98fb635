#include "sim_input_file.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "sim_json_input.h"

namespace korvel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t READ_CHUNK = 64 * 1024;

std::string too_large() {
    return "the file is larger than " + std::to_string(SIM_INPUT_FILE_LIMIT) + " bytes";
}

// UTF-8 text as a path and back, the same on every system (a narrow string would be taken in
// the ANSI code page on Windows).
fs::path path_of(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string text_of(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

fs::path absolute_of(const std::string& text) {
    std::error_code error;
    fs::path absolute = fs::absolute(path_of(text), error);
    return error ? path_of(text) : absolute.lexically_normal();
}

}  // namespace

std::string open_failure_text(const RegularFile& failed) {
    if (failed.not_regular) return "not a regular file";
    return std::strerror(failed.error);
}

bool read_input_file(const std::string& path, InputFile& input, std::string& error) {
    const RegularFile opened = open_regular_file_for_reading(path.c_str());
    if (opened.descriptor < 0) {
        error = "cannot read the file: " + open_failure_text(opened);
        return false;
    }
    input.identity = opened.identity;
    input.bytes.clear();
    // To the end whatever size the file claims (files in /proc claim none), and a failed read
    // is a read error: what came before it is not taken for the whole file.
    static char chunk[READ_CHUNK];
    bool read_whole = false;
    for (;;) {
        int read_error = 0;
        const long long count = read_regular_file(opened.descriptor, chunk, READ_CHUNK, read_error);
        if (count < 0) {
            error = std::string("read error: ") + std::strerror(read_error);
            break;
        }
        if (count == 0) {
            read_whole = true;
            break;
        }
        input.bytes.append(chunk, static_cast<std::size_t>(count));
        if (input.bytes.size() > SIM_INPUT_FILE_LIMIT) {
            error = too_large();
            break;
        }
    }
    close_regular_file(opened.descriptor);
    return read_whole;
}

std::string resolve_path(const std::string& folder, const std::string& name) {
    const fs::path given = path_of(name);
    // A name with a root of its own ("/x", "C:\x", "\x") is kept as given.
    if (given.is_absolute() || given.has_root_directory() || given.has_root_name()) return name;
    return text_of(path_of(folder) / given);
}

std::string folder_of(const std::string& path) {
    return text_of(absolute_of(path).parent_path());
}

bool same_path(const std::string& one, const std::string& other) {
    if (absolute_of(one) == absolute_of(other)) return true;
    std::error_code error;
    return fs::equivalent(path_of(one), path_of(other), error) && !error;
}

}  // namespace korvel
