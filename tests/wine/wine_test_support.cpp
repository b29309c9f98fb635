#include "wine_test_support.h"

#include <windows.h>

#include <shlwapi.h>

#include <filesystem>
#include <random>
#include <vector>

namespace korvel::wine {

std::wstring wide_from_utf8(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<std::size_t>(length > 0 ? length : 1));
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    return wide.data();
}

std::string utf8_from_wide(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::vector<char> narrow(static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    return narrow.data();
}

std::string own_executable() {
    std::vector<wchar_t> path(32768);
    const DWORD length =
        GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    return utf8_from_wide(path.data());
}

std::string own_folder() {
    const std::string path = own_executable();
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

bool module_loaded(const char* name) { return GetModuleHandleA(name) != nullptr; }

VolatileScsiPort::VolatileScsiPort(unsigned port) {
    char name[80];
    wsprintfA(name, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %x", port);
    path_ = name;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, name, 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        key_ = key;
    }
}

VolatileScsiPort::~VolatileScsiPort() {
    if (key_ == nullptr) return;
    RegCloseKey(static_cast<HKEY>(key_));
    // The key and its subkeys; RegDeleteTreeA would do the same from Windows Vista on.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
}

bool VolatileScsiPort::set_value(const char* name, unsigned long type, const void* data,
                                 unsigned long size) {
    return key_ != nullptr &&
           RegSetValueExA(static_cast<HKEY>(key_), name, 0, type,
                          static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool VolatileScsiPort::set_driver(const char* driver) {
    return set_value("Driver", REG_SZ, driver, static_cast<unsigned long>(lstrlenA(driver) + 1));
}

bool VolatileScsiPort::add_bus(unsigned bus) {
    if (key_ == nullptr) return false;
    char name[32];
    wsprintfA(name, "Scsi Bus %u", bus);
    HKEY key = nullptr;
    if (RegCreateKeyExA(static_cast<HKEY>(key_), name, 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    std::random_device random;
    const std::wstring name = std::wstring(base) + L"korvel-韌體-ファーム-" +
                              std::to_wstring(random()) + std::to_wstring(random());
    CreateDirectoryW(name.c_str(), nullptr);
    path_ = utf8_from_wide(name.c_str());
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(wide_from_utf8(path_)), ignored);
}

bool write_file(const std::string& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(wide_from_utf8(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL done = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                nullptr);
    CloseHandle(file);
    return done && written == bytes.size();
}

std::string read_file(const std::string& path) {
    const HANDLE file = CreateFileW(wide_from_utf8(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        content.append(buffer, count);
    }
    CloseHandle(file);
    return content;
}

bool copy_file(const std::string& from, const std::string& to) {
    return CopyFileW(wide_from_utf8(from).c_str(), wide_from_utf8(to).c_str(), FALSE) != FALSE;
}

}  // namespace korvel::wine
