// Helpers for the Wine tier: what a test needs to set Windows up and to look at it, outside
// the code under test. Only this tier (and os/) include Windows headers.
#pragma once

#include <string>

namespace korvel::wine {

/// UTF-8 text of a UTF-16 one.
std::string utf8_from_wide(const wchar_t* text);

/// UTF-16 text of a UTF-8 one.
std::wstring wide_from_utf8(const std::string& text);

/// The running test program's own path, in UTF-8.
std::string own_executable();

/// The folder of the running test program, in UTF-8, ending without a separator.
std::string own_folder();

/// Whether a module of that name is loaded in this process (GetModuleHandleA).
bool module_loaded(const char* name);

/// A key "HARDWARE\DEVICEMAP\Scsi\Scsi Port <port in hex>" below HKEY_LOCAL_MACHINE, made
/// volatile (Wine keeps HKLM\HARDWARE in memory only) and removed again with everything in
/// it when the object goes.
class VolatileScsiPort {
public:
    explicit VolatileScsiPort(unsigned port);
    ~VolatileScsiPort();
    VolatileScsiPort(const VolatileScsiPort&) = delete;
    VolatileScsiPort& operator=(const VolatileScsiPort&) = delete;

    /// Whether the key could be made.
    bool made() const { return key_ != nullptr; }
    /// Sets a value of the key, of any registry type; false when it could not.
    bool set_value(const char* name, unsigned long type, const void* data, unsigned long size);
    /// Sets the port's "Driver" value as a REG_SZ with its terminating zero.
    bool set_driver(const char* driver);
    /// Adds the subkey "Scsi Bus <bus>", as Windows lists the buses of a port.
    bool add_bus(unsigned bus);
    /// The key's path below HKEY_LOCAL_MACHINE.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    void* key_ = nullptr;
};

/// A folder of its own below the Windows temporary folder, removed with everything in it.
/// Its name holds Chinese and Japanese characters, so every path below it tests the UTF-8
/// handling of the code that opens it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    /// The folder's path in UTF-8.
    const std::string& path() const { return path_; }
    /// A path in UTF-8 for a file named name (UTF-8) inside the folder.
    std::string file(const char* name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

/// Writes bytes to a file (created or emptied); false on failure. The path is UTF-8.
bool write_file(const std::string& path, const std::string& bytes);
/// The whole content of a file, or an empty text when it cannot be read. The path is UTF-8.
std::string read_file(const std::string& path);
/// Copies a file; false on failure. Both paths are UTF-8.
bool copy_file(const std::string& from, const std::string& to);

}  // namespace korvel::wine
