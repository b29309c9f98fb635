// One running copy of korvel-update per machine: the claim is refused while another process
// holds it and free once that process has ended, by itself or killed, and a program that the
// holder starts does not keep it. korvel-sim, a simulation, runs whoever holds it.
#include <QCoreApplication>
#include <QProcess>

#include <string>

#include "harness_support.h"
#include "one_copy.h"

namespace korvel::harness {

namespace {

// hold_one_copy holding name; found is what its claim found.
struct Holder {
    explicit Holder(const QString& name) {
        process.start(QStringLiteral(KORVEL_HOLD_ONE_COPY), {name});
        if (process.waitForReadyRead(10000)) found = process.readLine().trimmed().toStdString();
    }
    QProcess process;
    std::string found;
};

QString test_name() {
    return QStringLiteral("KorvelUpdate.Test.%1").arg(QCoreApplication::applicationPid());
}

}  // namespace

TEST(OneCopy, IsRefusedWhileAnotherProcessHoldsItAndFreeOnceThatProcessEnds) {
    const QByteArray name = test_name().toUtf8();
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "holder killed" : "holder ended");
        Holder holder(QString::fromUtf8(name));
        ASSERT_EQ(holder.found, "claimed");
        EXPECT_EQ(claim_one_copy(name.constData()), CopyClaim::taken);
        if (killed) {
            holder.process.kill();
        } else {
            holder.process.closeWriteChannel();
        }
        ASSERT_TRUE(holder.process.waitForFinished(10000));
        EXPECT_EQ(claim_one_copy(name.constData()), CopyClaim::claimed);
        release_one_copy();
    }
}

TEST(OneCopy, StaysWithItsHolderAndNotWithAProgramTheHolderStarts) {
    const QByteArray name = test_name().toUtf8();
    ASSERT_EQ(claim_one_copy(name.constData()), CopyClaim::claimed);
    Holder started(test_name() + QStringLiteral(".other"));
    ASSERT_EQ(started.found, "claimed");
    release_one_copy();
    Holder next(QString::fromUtf8(name));
    EXPECT_EQ(next.found, "claimed") << "the started program kept the claim";
}

TEST_F(HarnessTest, KorvelSimRunsWhileKorvelUpdatesClaimIsHeld) {
    // Held here, or by a korvel-update that runs on this machine.
    EXPECT_NE(claim_one_copy(KORVEL_UPDATE_COPY_NAME), CopyClaim::unavailable);
    const SimRun run = run_case("bus-pv30.json", "buttons.json");
    release_one_copy();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    EXPECT_EQ(run.indexes("hosts").size(), 1u);
}

}  // namespace korvel::harness
