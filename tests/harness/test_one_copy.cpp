// One running copy of korvel-update per machine: the claim between processes, and korvel-sim,
// a simulation, beside it.
#include <QCoreApplication>
#include <QProcess>

#include <string>

#include "harness_support.h"
#include "one_copy.h"

namespace korvel::harness {

namespace {

// hold_one_copy holding name; found is what its claim found.
struct Holder {
    explicit Holder(const std::string& name) {
        process.start(QStringLiteral(KORVEL_HOLD_ONE_COPY), {QString::fromStdString(name)});
        if (process.waitForReadyRead(10000)) found = process.readLine().trimmed().toStdString();
    }
    QProcess process;
    std::string found;
};

}  // namespace

// Refused while another process holds it, free once that one has ended by itself or been
// killed; and not kept by a program that its holder started (close-on-exec).
TEST(OneCopy, IsRefusedWhileAnotherProcessHoldsItAndFreeOnceThatProcessEnds) {
    const std::string name =
        "KorvelUpdate.Test." + std::to_string(QCoreApplication::applicationPid());
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "holder killed" : "holder ended");
        Holder holder(name);
        ASSERT_EQ(holder.found, "claimed");
        EXPECT_EQ(claim_one_copy(name.c_str()), CopyClaim::taken);
        killed ? holder.process.kill() : holder.process.closeWriteChannel();
        ASSERT_TRUE(holder.process.waitForFinished(10000));
        ASSERT_EQ(claim_one_copy(name.c_str()), CopyClaim::claimed);
        const Holder started(name + ".other");
        release_one_copy();
        EXPECT_EQ(Holder(name).found, "claimed") << "kept by a program the holder started";
    }
}

TEST_F(HarnessTest, KorvelSimRunsWhileKorvelUpdatesClaimIsHeld) {
    // Held from here, or by a korvel-update running on this machine.
    EXPECT_NE(claim_one_copy(KORVEL_UPDATE_COPY_NAME), CopyClaim::unavailable);
    const SimRun run = run_case("bus-pv30.json", "buttons.json");
    release_one_copy();
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    EXPECT_EQ(run.indexes("hosts").size(), 1u);
}

}  // namespace korvel::harness
