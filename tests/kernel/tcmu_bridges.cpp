// korvel-tcmu-bridges: serves the simulated devices of kernel_bus.h to the guest's real SCSI
// stack as TCMU devices, so that the kernel's own sg driver, SCSI midlayer, tcm_loop host and
// target core carry every command between the program and the same bridge models the demo
// uses. Every command, the kernel's own INQUIRY and TEST UNIT READY included, is answered by
// the model and written to a journal before it is completed.
//
//   korvel-tcmu-bridges --targets        the target IDs of the bus, one line
//   korvel-tcmu-bridges JOURNAL READY    maps every "korvel/<target>" TCMU device, creates the
//                                        file READY, then serves them until it is ended
//
// A journal line is kernel_bus::journal_line, plus " in:<hash>" of the bytes a data-in command
// returned. The direction of a command's data is the one its operation code has.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "kernel_bus.h"
#include "linux_tcmu.h"

namespace korvel {
namespace {

using namespace kernel_bus;

constexpr int WAIT_MS = 1000;

// Operations whose data travels to the device; every other command with data reads.
SimDirection direction_of(const TcmuRequest& request) {
    if (request.length == 0) return SimDirection::none;
    switch (request.cdb[0]) {
    case 0x0A:  // WRITE(6)
    case 0x15:  // MODE SELECT(6)
    case 0x2A:  // WRITE(10)
    case 0x3B:  // WRITE BUFFER
    case 0x55:  // MODE SELECT(10)
    case 0x8A:  // WRITE(16)
    case 0xAA:  // WRITE(12)
        return SimDirection::out;
    default:
        return SimDirection::in;
    }
}

class BridgeServer final : public TcmuHandler {
public:
    explicit BridgeServer(std::FILE* journal) : journal_(journal) {}

    // Gives the opened device its slot's model; false for a configuration of no slot.
    bool adopt(std::size_t device, const char* config) {
        const int target = std::atoi(config + std::strlen(CONFIG_PREFIX));
        for (const Slot& slot : SLOTS) {
            if (slot.target != target) continue;
            models_[device] = make_device(slot);
            targets_[device] = slot.target;
            return true;
        }
        return false;
    }

    void answer(std::size_t device, const TcmuRequest& request, TcmuReply& reply) override {
        SimDevice& model = *models_[device];
        const SimDirection direction = direction_of(request);
        const std::span<const std::uint8_t> cdb(request.cdb, request.cdb_length);
        SimCommand command;
        command.address.target_id = targets_[device];
        command.cdb = cdb;
        command.direction = direction;
        command.data = request.data;
        command.length = request.length;
        const SimResult result = model.deliver(command).result;
        model.clear_journal();  // the file is the journal kept

        reply.status = result.status;
        reply.sense_length = std::min<std::size_t>(result.sense_length, sizeof reply.sense);
        std::memcpy(reply.sense, result.sense.data(), reply.sense_length);
        // The model only reads the data of a data-out command, so the bytes hashed are sent ones.
        std::string line = journal_line(targets_[device], cdb, direction, request.length,
                                        {request.data, request.length}, result.status);
        if (direction == SimDirection::in) {
            reply.data_in_length = std::min(result.transferred, request.length);
            line += " in:" + hash_text({request.data, reply.data_in_length});
        }
        // Written out before the command completes, so whoever sent it finds the line.
        std::fprintf(journal_, "%s\n", line.c_str());
        std::fflush(journal_);
    }

private:
    std::FILE* journal_;
    std::shared_ptr<SimDevice> models_[TCMU_MAX_DEVICES];
    std::uint8_t targets_[TCMU_MAX_DEVICES] = {};
};

int run(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--targets") == 0) {
        for (const Slot& slot : SLOTS) std::printf("%u ", static_cast<unsigned>(slot.target));
        std::printf("\n");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvel-tcmu-bridges --targets | JOURNAL READY\n");
        return 2;
    }
    std::FILE* journal = std::fopen(argv[1], "w");
    if (journal == nullptr) {
        std::fprintf(stderr, "korvel-tcmu-bridges: cannot write %s\n", argv[1]);
        return 1;
    }
    BridgeServer server(journal);
    const std::size_t count = tcmu_open_devices(CONFIG_PREFIX);
    for (std::size_t i = 0; i < count; ++i) {
        if (!server.adopt(i, tcmu_device_config(i))) {
            std::fprintf(stderr, "korvel-tcmu-bridges: no slot for \"%s\"\n",
                         tcmu_device_config(i));
            return 1;
        }
    }
    if (count != std::size(SLOTS)) {
        std::fprintf(stderr, "korvel-tcmu-bridges: %zu of %zu devices found\n", count,
                     std::size(SLOTS));
        return 1;
    }
    std::FILE* ready = std::fopen(argv[2], "w");
    if (ready == nullptr) return 1;
    std::fclose(ready);
    std::printf("korvel-tcmu-bridges: serving %zu devices\n", count);
    std::fflush(stdout);
    while (tcmu_serve(server, WAIT_MS) >= 0) {
    }
    std::fprintf(stderr, "korvel-tcmu-bridges: no device left to serve\n");
    return 1;
}

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) {
    return korvel::run(argc, argv);
}
