// A simulated Linux sg driver behind the LinuxScsiGeneric seam: /dev/sgN nodes with the
// address SG_GET_SCSI_ID reports for each, the devices behind them, and each host's proc_name
// file in sysfs.
//
// Every open gets a fresh handle value that is never reused during the object's life, and
// every open and close is recorded, so tests can check that nodes are closed exactly once and
// none leak. Faults stand in for what the kernel does: refused opens (no right to the node),
// a node that does not answer SG_GET_SCSI_ID, SG_IO calls that fail or are refused, and
// host or driver errors on the way to the device. Addresses are stored as the kernel's ints
// and handed out unchecked, so out-of-range values reach the provider as they would.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform_seam.h"
#include "sim_device.h"

namespace korvel {

/// One open() of a node.
struct SimSgOpenRecord {
    std::string name;
    OpenAccess access = OpenAccess::read_write;
    OsHandle handle = 0;  ///< 0 when the open was refused
};

class SimLinuxSg final : public LinuxScsiGeneric {
public:
    SimLinuxSg() = default;
    ~SimLinuxSg() override = default;
    SimLinuxSg(const SimLinuxSg&) = delete;
    SimLinuxSg& operator=(const SimLinuxSg&) = delete;

    // --- Nodes and hosts ---------------------------------------------------------------------

    /// Adds the next free "/dev/sgN" for a device at host, channel, target and LUN; returns
    /// its name.
    std::string add_device(std::int32_t host, std::int32_t channel, std::int32_t target,
                           std::int32_t lun, std::shared_ptr<SimDevice> device);
    /// Adds a node under an exact name with an exact SG_GET_SCSI_ID answer.
    void add_node(const std::string& name, const SgScsiId& id, std::shared_ptr<SimDevice> device);
    /// Sets the bytes of /sys/class/scsi_host/host<host>/proc_name (sysfs ends them with a
    /// newline; pass it when wanted).
    void set_proc_name(std::uint32_t host, std::string bytes);
    /// Makes list_nodes answer exactly these names, in this order, whatever the nodes are.
    /// Names longer than a node name's room are handed over cut to it, without their zero.
    void set_listing(std::vector<std::string> names);
    /// Lets node_address answer every node's address, as sysfs does for anyone (off by default:
    /// a node without rights then stays unseen, as before sysfs was asked).
    void publish_sysfs_addresses() { sysfs_addresses_ = true; }

    // --- Faults ----------------------------------------------------------------------------

    /// Refuses opening the node (every access, or only the one given), as for a user without
    /// the right to it.
    void refuse_open(const std::string& name, std::optional<OpenAccess> only_access = std::nullopt);
    /// The node does not answer SG_GET_SCSI_ID.
    void fail_scsi_id(const std::string& name);
    /// The next `count` SG_IO calls on the node end with this outcome (refused or failed).
    void fail_sg_io(const std::string& name, SgIoOutcome outcome, std::uint32_t count = SIM_ALWAYS);
    /// The next `count` SG_IO calls on the node reach no device and report these host and
    /// driver statuses (with status GOOD).
    void inject_transport_status(const std::string& name, std::uint16_t host_status,
                                 std::uint16_t driver_status, std::uint32_t count = SIM_ALWAYS);

    // --- What happened -------------------------------------------------------------------

    const std::vector<SimSgOpenRecord>& opens() const { return opens_; }
    /// Handles opened and not yet closed.
    std::size_t open_handles() const;
    /// How often close_node was called with this handle.
    std::uint32_t close_count(OsHandle handle) const;
    /// close_node calls on a handle that was already closed.
    std::uint32_t double_closes() const { return double_closes_; }
    /// close_node calls on a value never handed out (0 included).
    std::uint32_t unknown_closes() const { return unknown_closes_; }
    /// The name a handle was opened by; empty for an unknown handle.
    std::string handle_name(OsHandle handle) const;
    /// The access a handle was opened with.
    std::optional<OpenAccess> handle_access(OsHandle handle) const;
    /// SG_IO calls, failed ones included.
    std::uint32_t sg_io_count() const { return sg_io_calls_; }
    /// The request of the last SG_IO call as it reached the driver.
    const PassThroughRequest& last_request() const { return last_request_; }

    // --- LinuxScsiGeneric ------------------------------------------------------------------

    std::size_t list_nodes(SgNodeName* names, std::size_t capacity) override;
    OsHandle open_node(const char* name, OpenAccess access) override;
    bool scsi_id(OsHandle node, SgScsiId& id) override;
    SgIoOutcome sg_io(OsHandle node, PassThroughRequest& request,
                      SgTransportStatus& transport) override;
    bool host_proc_name(std::uint32_t host, std::uint8_t* buffer, std::uint32_t capacity,
                        std::uint32_t* length) override;
    void close_node(OsHandle node) override;
    bool node_address(const char* name, SgScsiId& id) override;

private:
    struct Node {
        SgScsiId id;
        std::shared_ptr<SimDevice> device;
        bool open_refused = false;
        std::optional<OpenAccess> refused_access;
        bool scsi_id_fails = false;
        SgIoOutcome io_fault = SgIoOutcome::done;
        std::uint32_t io_faults_left = 0;
        std::uint16_t host_status = 0;
        std::uint16_t driver_status = 0;
        std::uint32_t transport_faults_left = 0;
    };
    struct Handle {
        std::string name;
        OpenAccess access = OpenAccess::read_write;
        bool open = true;
        std::uint32_t closes = 0;
    };

    Node* node_named(const std::string& name);
    const Handle* open_handle(OsHandle handle) const;

    std::map<std::string, Node> nodes_;
    std::uint32_t next_number_ = 0;
    std::optional<std::vector<std::string>> listing_;
    bool sysfs_addresses_ = false;
    std::map<std::uint32_t, std::string> proc_names_;

    std::map<OsHandle, Handle> handles_;
    OsHandle next_handle_ = 0x200;
    std::vector<SimSgOpenRecord> opens_;
    std::uint32_t double_closes_ = 0;
    std::uint32_t unknown_closes_ = 0;
    std::uint32_t sg_io_calls_ = 0;
    PassThroughRequest last_request_;
};

}  // namespace korvel
