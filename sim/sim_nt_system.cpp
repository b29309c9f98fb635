// The namespace side of the simulated NT system: names, drive letters, ports, handles,
// registry and privilege. The I/O controls are in sim_nt_io_control.cpp, the class-driver
// layout in sim_nt_layout.cpp.
#include "sim_nt_system.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace korvel {

namespace {

constexpr char FIRST_HARD_DRIVE_LETTER = 'c';

char lower_letter(char letter) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

bool is_drive_letter(char letter) { return letter >= 'a' && letter <= 'z'; }

}  // namespace

std::string SimNtSystem::lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower_letter(c);
    return out;
}

bool SimNtSystem::fail(std::uint32_t error) {
    last_error_ = error;
    return false;
}

// --- Names ------------------------------------------------------------------------------------

std::string SimNtSystem::drive_device_name(char letter) {
    return std::string("\\\\.\\") + lower_letter(letter) + ":";
}

std::string SimNtSystem::port_device_name(std::uint8_t port) {
    return "\\\\.\\Scsi" + std::to_string(port) + ":";
}

void SimNtSystem::add_drive_letter(char letter, std::uint32_t drive_type) {
    const char l = lower_letter(letter);
    if (!is_drive_letter(l)) return;
    drive_letters_[l] = drive_type;
    auto name = std::make_shared<Name>();
    name->kind = NameKind::volume;
    names_[drive_device_name(l)] = std::move(name);
}

void SimNtSystem::add_drive_letter(char letter, std::uint32_t drive_type,
                                   std::shared_ptr<SimDevice> device,
                                   std::optional<SimAddress> address) {
    const char l = lower_letter(letter);
    if (!is_drive_letter(l)) return;
    drive_letters_[l] = drive_type;
    add_device_name(drive_device_name(l), std::move(device), address);
}

void SimNtSystem::add_device_name(const std::string& name, std::shared_ptr<SimDevice> device,
                                  std::optional<SimAddress> address) {
    auto entry = std::make_shared<Name>();
    entry->kind = NameKind::class_device;
    entry->device = std::move(device);
    entry->address = address;
    names_[name] = std::move(entry);
}

void SimNtSystem::remove_device_name(const std::string& name) {
    names_.erase(name);
    for (char l = 'a'; l <= 'z'; ++l) {
        if (drive_device_name(l) == name) drive_letters_.erase(l);
    }
}

char SimNtSystem::next_free_drive_letter() const {
    for (char l = FIRST_HARD_DRIVE_LETTER; l <= 'z'; ++l) {
        if (!drive_letters_.contains(l)) return static_cast<char>(std::toupper(l));
    }
    return 0;
}

std::uint32_t SimNtSystem::next_free_number(std::string_view prefix) const {
    std::uint32_t n = 0;
    while (names_.contains(std::string(prefix) + std::to_string(n))) ++n;
    return n;
}

// --- Ports ------------------------------------------------------------------------------------

SimNtSystem::Port& SimNtSystem::port_at(std::uint8_t port) {
    auto [it, added] = ports_.try_emplace(port);
    if (added) {
        auto name = std::make_shared<Name>();
        name->kind = NameKind::port;
        name->port = port;
        names_[port_device_name(port)] = std::move(name);
    }
    return it->second;
}

void SimNtSystem::add_port(std::uint8_t port, std::uint8_t bus_count, std::string_view driver) {
    Port& p = port_at(port);
    if (p.buses.size() < bus_count) p.buses.resize(bus_count);
    if (!driver.empty()) set_port_driver(port, driver);
}

void SimNtSystem::attach(const SimAddress& address, std::shared_ptr<SimDevice> device,
                         bool claimed) {
    Port& p = port_at(address.port);
    if (p.buses.size() <= address.path_id) p.buses.resize(std::size_t{address.path_id} + 1);
    std::vector<SimLogicalUnit>& units = p.buses[address.path_id].units;
    const auto before = [](const SimLogicalUnit& u, const SimAddress& a) {
        return u.target_id != a.target_id ? u.target_id < a.target_id : u.lun < a.lun;
    };
    auto at = std::lower_bound(units.begin(), units.end(), address, before);
    if (at != units.end() && at->target_id == address.target_id && at->lun == address.lun) {
        at->device = std::move(device);
        at->claimed = claimed;
        return;
    }
    units.insert(at, SimLogicalUnit{address.target_id, address.lun, std::move(device), claimed});
}

void SimNtSystem::set_max_transfer(std::uint8_t port, std::uint32_t bytes) {
    port_at(port).max_transfer = bytes;
}

void SimNtSystem::set_raw_inquiry_data(std::uint8_t port, std::vector<std::uint8_t> bytes,
                                       std::uint32_t returned) {
    Port& p = port_at(port);
    p.raw_answer = true;
    p.raw_bytes = std::move(bytes);
    p.raw_returned = returned;
}

std::vector<std::uint8_t> SimNtSystem::adapter_bus_info(std::uint8_t port) const {
    const auto it = ports_.find(port);
    if (it == ports_.end()) return {};
    if (it->second.raw_answer) return it->second.raw_bytes;
    return build_adapter_bus_info(it->second.buses);
}

// --- Fault injection --------------------------------------------------------------------------

void SimNtSystem::fail_open(const std::string& name, std::uint32_t error,
                            std::optional<OpenAccess> only_access, std::uint32_t count) {
    if (count != 0) open_faults_.push_back({name, error, only_access, count});
}

void SimNtSystem::fail_io_control(const std::string& name, std::uint32_t code, std::uint32_t error,
                                  std::uint32_t count) {
    if (count != 0) io_control_faults_.push_back({name, code, error, count});
}

void SimNtSystem::set_pass_through_needs_write_access(bool needed) {
    pass_through_needs_write_ = needed;
}

void SimNtSystem::set_writable(bool writable) { writable_ = writable; }

void SimNtSystem::set_privilege_result(bool granted, std::uint32_t error) {
    privilege_granted_ = granted;
    privilege_error_ = error;
}

std::optional<std::uint32_t> SimNtSystem::take_io_control_fault(const std::string& name,
                                                                std::uint32_t code) {
    for (auto it = io_control_faults_.begin(); it != io_control_faults_.end(); ++it) {
        if (it->name != name || it->code != code) continue;
        const std::uint32_t error = it->error;
        if (it->remaining != SIM_ALWAYS && --it->remaining == 0) io_control_faults_.erase(it);
        return error;
    }
    return std::nullopt;
}

// --- Handles ----------------------------------------------------------------------------------

OsHandle SimNtSystem::open_device(const char* name, OpenAccess access, OpenSharing sharing) {
    SimOpenRecord record{name != nullptr ? name : "", access, sharing, 0, 0};
    const auto fail_open_with = [&](std::uint32_t error) {
        record.error = error;
        opens_.push_back(record);
        fail(error);
        return OsHandle{0};
    };

    for (auto it = open_faults_.begin(); it != open_faults_.end(); ++it) {
        if (it->name != record.name) continue;
        if (it->only_access && *it->only_access != access) continue;
        const std::uint32_t error = it->error;
        if (it->remaining != SIM_ALWAYS && --it->remaining == 0) open_faults_.erase(it);
        return fail_open_with(error);
    }
    const auto found = names_.find(record.name);
    if (found == names_.end()) return fail_open_with(SIM_ERROR_FILE_NOT_FOUND);
    // A class device whose hardware is gone has lost its device object as well.
    const Name& target = *found->second;
    if (target.kind == NameKind::class_device && target.device && target.device->removed()) {
        return fail_open_with(SIM_ERROR_FILE_NOT_FOUND);
    }

    const OsHandle handle = next_handle_;
    next_handle_ += 4;
    handles_[handle] = Handle{found->second, record.name, access, true, 0};
    record.handle = handle;
    opens_.push_back(record);
    return handle;
}

void SimNtSystem::close_handle(OsHandle handle) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        ++unknown_closes_;
        fail(SIM_ERROR_INVALID_HANDLE);
        return;
    }
    ++it->second.closes;
    if (!it->second.open) {
        ++double_closes_;
        fail(SIM_ERROR_INVALID_HANDLE);
        return;
    }
    it->second.open = false;
}

const SimNtSystem::Handle* SimNtSystem::find_open_handle(OsHandle handle) const {
    const auto it = handles_.find(handle);
    return it != handles_.end() && it->second.open ? &it->second : nullptr;
}

std::size_t SimNtSystem::open_handles() const {
    return static_cast<std::size_t>(std::count_if(handles_.begin(), handles_.end(),
                                                  [](const auto& h) { return h.second.open; }));
}

std::vector<std::string> SimNtSystem::open_handle_names() const {
    std::vector<std::string> out;
    for (const auto& [value, h] : handles_) {
        if (h.open) out.push_back(h.name);
    }
    return out;
}

std::uint32_t SimNtSystem::close_count(OsHandle handle) const {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? 0 : it->second.closes;
}

std::string SimNtSystem::handle_name(OsHandle handle) const {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? std::string() : it->second.name;
}

// --- Drives -----------------------------------------------------------------------------------

std::uint32_t SimNtSystem::logical_drives() {
    std::uint32_t mask = 0;
    for (const auto& [letter, type] : drive_letters_) {
        mask |= std::uint32_t{1} << (letter - 'a');
    }
    return mask;
}

std::uint32_t SimNtSystem::drive_type(const char* root) {
    // "d:" or "d:\"; anything else names no drive.
    if (root == nullptr) return DRIVE_TYPE_NO_ROOT_DIR;
    const std::string r(root);
    if (r.size() < 2 || r.size() > 3 || r[1] != ':' || (r.size() == 3 && r[2] != '\\')) {
        return DRIVE_TYPE_NO_ROOT_DIR;
    }
    const auto it = drive_letters_.find(lower_letter(r[0]));
    return it == drive_letters_.end() ? DRIVE_TYPE_NO_ROOT_DIR : it->second;
}

// --- Registry, memory, privilege ----------------------------------------------------------------

std::string SimNtSystem::port_registry_key(std::uint8_t port) {
    char number[8];
    std::snprintf(number, sizeof number, "%x", static_cast<unsigned>(port));
    return std::string("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port ") + number;
}

void SimNtSystem::set_registry_value(const std::string& key, const std::string& value,
                                     std::vector<std::uint8_t> bytes) {
    registry_[lower(key)][lower(value)] = std::move(bytes);
}

void SimNtSystem::set_registry_string(const std::string& key, const std::string& value,
                                      std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    set_registry_value(key, value, std::move(bytes));
}

void SimNtSystem::set_port_driver(std::uint8_t port, std::string_view driver) {
    set_registry_string(port_registry_key(port), "Driver", driver);
}

bool SimNtSystem::read_registry_value(const char* key, const char* value, std::uint8_t* buffer,
                                      std::uint32_t capacity, std::uint32_t* length) {
    if (key == nullptr || value == nullptr) return fail(SIM_ERROR_FILE_NOT_FOUND);
    const auto k = registry_.find(lower(key));
    if (k == registry_.end()) return fail(SIM_ERROR_FILE_NOT_FOUND);
    const auto v = k->second.find(lower(value));
    if (v == k->second.end()) return fail(SIM_ERROR_FILE_NOT_FOUND);
    const std::size_t n = std::min<std::size_t>(capacity, v->second.size());
    if (n > 0) std::copy_n(v->second.begin(), n, buffer);
    if (length != nullptr) *length = static_cast<std::uint32_t>(n);
    return true;
}

bool SimNtSystem::is_writable(void* /*address*/, std::uint32_t /*size*/) { return writable_; }

bool SimNtSystem::enable_privilege(const char* name) {
    privileges_.emplace_back(name != nullptr ? name : "");
    if (!privilege_granted_) return fail(privilege_error_);
    last_error_ = 0;
    return true;
}

}  // namespace korvel
