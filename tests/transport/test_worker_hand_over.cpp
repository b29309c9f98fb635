// Requests handed to the pass-through worker while another is under way or not yet picked up:
// each is carried out once, as its block was when it was sent, and the block reads pending
// until its own request has ended.
#include <atomic>
#include <vector>

#include "sim_threads.h"
#include "transport_fixture.h"

namespace korvel {
namespace {

using Cdbs = std::vector<std::vector<std::uint8_t>>;

const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
const std::uint8_t test_unit_ready[6] = {};

class WorkerHandOver : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        sim.nt.lay_out_port(0, "aic78xx", {{0, 2, 0, disk}});
        // The worker picks each request up 50 ms after it was handed over.
        threads.set_late_wake(50);
        Platform platform = sim.seams();
        platform.threads = &threads;
        install_platform(platform);
        ASSERT_EQ(start(), 0x0101u);
        disk->clear_journal();
    }

    SRB_ExecSCSICmd request(const std::uint8_t* cdb) {
        return exec_request(0, 2, 0, cdb, 6, SRB_DIR_IN, data, 36);
    }

    // Whether the block's status is final within two seconds.
    bool ends(SRB_ExecSCSICmd& srb) {
        std::atomic_ref<std::uint8_t> status(srb.SRB_Status);
        for (int i = 0; i < 2000 && status.load(std::memory_order_acquire) == SS_PENDING; ++i) {
            threads.sleep(1);
        }
        return status.load(std::memory_order_acquire) != SS_PENDING;
    }

    Cdbs cdbs() const {
        Cdbs seen;
        for (const SimJournalEntry& entry : disk->journal()) seen.push_back(entry.cdb);
        return seen;
    }

    SimThreads threads;
    std::shared_ptr<SimDevice> disk = make_disk();
    std::uint8_t data[36] = {};
};

TEST_F(WorkerHandOver, ABlockFilledAnewAndSentAgainBeforeTheWorkerTookItRunsBothRequests) {
    SRB_ExecSCSICmd srb = request(inquiry);
    EXPECT_EQ(aspi_send_command(&srb), SS_PENDING);
    std::memcpy(srb.CDBByte, test_unit_ready, sizeof test_unit_ready);
    EXPECT_EQ(aspi_send_command(&srb), SS_PENDING);
    aspi_wait(2000);
    EXPECT_EQ(cdbs(), (Cdbs{{std::begin(inquiry), std::end(inquiry)},
                            {std::begin(test_unit_ready), std::end(test_unit_ready)}}));
}

TEST_F(WorkerHandOver, ABlockSentAgainReadsPendingUntilItsSecondRequestEnded) {
    disk->add_answer_time({0x12}, 100);
    SRB_ExecSCSICmd srb = request(inquiry);
    aspi_send_command(&srb);
    aspi_send_command(&srb);  // waits for the first request to end
    ASSERT_TRUE(ends(srb));
    EXPECT_EQ(disk->command_count(), 2u);
}

// Sends one block from a thread of its own.
class Sender final : public ThreadWork {
public:
    explicit Sender(SRB_ExecSCSICmd& srb) : srb_(srb) {}
    void run() override { aspi_send_command(&srb_); }

private:
    SRB_ExecSCSICmd& srb_;
};

TEST_F(WorkerHandOver, TwoSendersAtOnceHaveBothRequestsCarriedOut) {
    SRB_ExecSCSICmd first = request(inquiry);
    ASSERT_EQ(aspi_send_and_wait(&first), SS_COMP);  // the worker runs and is idle
    // Both senders find it idle and, run late, both go on to hand over.
    SRB_ExecSCSICmd blocks[2] = {request(inquiry), request(test_unit_ready)};
    Sender senders[2] = {Sender(blocks[0]), Sender(blocks[1])};
    const OsHandle started[2] = {threads.start(senders[0]), threads.start(senders[1])};
    for (OsHandle thread : started) threads.join(thread);
    EXPECT_TRUE(ends(blocks[0]));
    EXPECT_TRUE(ends(blocks[1]));
}

}  // namespace
}  // namespace korvel
